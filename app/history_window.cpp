// app/: the window 播放记录.
#include "app/history_window.h"

#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/launch.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QHeaderView>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

frmHistory::frmHistory(const player::TitleHistory& history, const QString& recordings, QWidget* parent)
    : QWidget(parent, Qt::Window), m_history(history), m_recordings(recordings) {
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(QStringLiteral("播放记录"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(560, 400);

    m_table = new QTableWidget(0, 3, this);
    m_table->setObjectName(QStringLiteral("historyRows"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("时间"), QStringLiteral("电台"), QStringLiteral("标题")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(0, 80);
    m_table->setColumnWidth(1, 140);
    m_table->setWordWrap(false);
    auto* save = new QPushButton(QStringLiteral("保存…"), this);
    save->setObjectName(QStringLiteral("historySave"));
    auto* open = new QPushButton(QStringLiteral("打开录音文件夹"), this);
    open->setObjectName(QStringLiteral("historyRecordings"));

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(open);
    bottom->addStretch(1);
    bottom->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(bottom);

    connect(save, &QPushButton::clicked, this, [this] { platform::Guarded([this] { Save(); }); });
    connect(open, &QPushButton::clicked, this, [this] { platform::Guarded([this] { OpenRecordings(); }); });
    auto* copy = new QShortcut(QKeySequence::Copy, this);
    connect(copy, &QShortcut::activated, this, &frmHistory::CopySelected);
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    Refresh();
}

void frmHistory::Refresh() {
    const QList<player::HeardTitle>& rows = m_history.rows();
    m_table->setRowCount(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        int column = 0;
        // QTableWidgetItem shows its text as it is: no markup reaches the screen.
        for (const QString& text :
             {rows[row].heard.toString(QStringLiteral("HH:mm:ss")), rows[row].station, rows[row].title}) {
            auto* item = new QTableWidgetItem(text);
            item->setToolTip(rows[row].heard.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            m_table->setItem(row, column++, item);
        }
    }
}

QString frmHistory::SelectedText() const {
    QList<int> picked;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        picked << index.row();
    // In the order shown, whatever order they were picked in.
    std::sort(picked.begin(), picked.end());
    QList<player::HeardTitle> rows;
    for (const int row : std::as_const(picked))
        if (row < m_history.rows().size()) rows << m_history.rows()[row];
    return player::TitleHistory::Text(rows);
}

void frmHistory::CopySelected() {
    const QString text = SelectedText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

void frmHistory::Save() {
    const QString suggested =
        QDir::home().filePath(QStringLiteral("播放记录 %1.txt")
                                  .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd"))));
    const QString path = platform::SaveFileName(QStringLiteral("保存播放记录"), suggested);
    if (path.isEmpty()) return;
    platform::CurrentFileSystem().ReplaceFile(path, player::TitleHistory::Text(m_history.rows()).toUtf8());
}

void frmHistory::OpenRecordings() {
    platform::MakeFolders(m_recordings);
    platform::Shell(QStringLiteral("explorer.exe ") + m_recordings, 1);
}

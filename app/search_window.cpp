// app/: the search window.
#include "app/search_window.h"

#include "web/directory.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

frmSearch::frmSearch(web::Fetcher& fetcher, web::DirectoryNames& names, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmSearch"));
    setWindowTitle(QStringLiteral("搜索电台"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(640, 480);

    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("searchField"));
    m_field->setPlaceholderText(QStringLiteral("电台名称或标签"));
    m_field->setAccessibleName(QStringLiteral("搜索"));
    m_results = new QTableWidget(0, 4, this);
    m_results->setObjectName(QStringLiteral("searchResults"));
    m_results->setHorizontalHeaderLabels(
        {QStringLiteral("名称"), QStringLiteral("国家"), QStringLiteral("格式"), QStringLiteral("标签")});
    m_results->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_results->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->verticalHeader()->hide();
    m_results->horizontalHeader()->setStretchLastSection(true);
    m_results->setColumnWidth(0, 240);
    m_results->setWordWrap(false);
    m_results->installEventFilter(this);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("searchStatus"));
    // It may quote a station's name: never read as markup.
    m_status->setTextFormat(Qt::PlainText);
    m_add = new QPushButton(QStringLiteral("添加到列表"), this);
    m_add->setObjectName(QStringLiteral("searchAdd"));

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_add);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_field);
    layout->addWidget(m_results, 1);
    layout->addLayout(bottom);

    m_client = new web::DirectoryClient(fetcher, names, this);
    connect(m_client, &web::DirectoryClient::found, this, &frmSearch::Show);
    connect(m_client, &web::DirectoryClient::failed, this, &frmSearch::SetStatus);
    m_pause.setSingleShot(true);
    m_pause.setTimerType(Qt::PreciseTimer);
    m_pause.setInterval(PauseMs);
    connect(&m_pause, &QTimer::timeout, this, &frmSearch::Search);
    connect(m_field, &QLineEdit::textChanged, this, [this] { m_pause.start(); });
    // Enter searches at once what was typed, else plays the result chosen.
    connect(m_field, &QLineEdit::returnPressed, this, [this] {
        if (m_pause.isActive())
            Search();
        else
            PlaySelected();
    });
    connect(m_results, &QTableWidget::cellDoubleClicked, this, &frmSearch::PlaySelected);
    connect(m_add, &QPushButton::clicked, this, &frmSearch::AddSelected);
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        auto* add = new QShortcut(keys, this);
        connect(add, &QShortcut::activated, this, &frmSearch::AddSelected);
    }
    // Useful at once: the most listened Chinese stations, before any key.
    Search();
}

frmSearch::~frmSearch() = default;

QString frmSearch::Status() const {
    return m_status->text();
}

void frmSearch::SetStatus(const QString& text) {
    m_status->setText(text);
}

void frmSearch::Search() {
    m_pause.stop();
    SetStatus(QStringLiteral("正在搜索..."));
    m_client->search(m_field->text());
}

void frmSearch::Show(const QList<readers::DirectoryStation>& stations) {
    m_shown = stations;
    m_results->setRowCount(0);
    m_results->setRowCount(int(stations.size()));
    for (int row = 0; row < stations.size(); ++row) {
        const readers::DirectoryStation& station = stations[row];
        int column = 0;
        // QTableWidgetItem shows its text as it is: no markup reaches the screen.
        for (const QString& text : {station.name, station.country, station.format, station.tags})
            m_results->setItem(row, column++, new QTableWidgetItem(text));
    }
    if (!stations.isEmpty()) m_results->selectRow(0);
    SetStatus(QStringLiteral("找到%1个电台").arg(stations.size()));
}

bool frmSearch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_results && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !(key->modifiers() & ~Qt::KeypadModifier)) {
            PlaySelected();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmSearch::PlaySelected() {
    const int row = m_results->currentRow();
    if (row < 0 || row >= m_shown.size()) return;
    m_client->clicked(m_shown[row].uuid);
    emit playRequested(m_shown[row]);
}

void frmSearch::AddSelected() {
    QList<int> rows;
    for (const QModelIndex& index : m_results->selectionModel()->selectedRows())
        if (index.row() < m_shown.size()) rows << index.row();
    // In the order shown, whatever order they were picked in.
    std::sort(rows.begin(), rows.end());
    QList<readers::DirectoryStation> chosen;
    for (const int row : std::as_const(rows))
        chosen << m_shown[row];
    if (!chosen.isEmpty()) emit addRequested(chosen);
}

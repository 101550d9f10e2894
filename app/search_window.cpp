// app/: the search window and the table of its results.
#include "app/search_window.h"

#include "web/directory.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

int SearchResults::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_stations.size());
}

int SearchResults::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant SearchResults::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    // Shown as the characters they hold: a view's cells never read markup.
    const readers::DirectoryStation& station = m_stations[index.row()];
    switch (index.column()) {
    case 0:
        return station.name;
    case 1:
        return station.country;
    case 2:
        return Format(station);
    default:
        return station.tags;
    }
}

QVariant SearchResults::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const QStringList headers = {QStringLiteral("名称"), QStringLiteral("国家"),
                                        QStringLiteral("格式"), QStringLiteral("标签")};
    return headers.value(section);
}

void SearchResults::setStations(QList<readers::DirectoryStation> stations) {
    std::stable_sort(stations.begin(), stations.end(),
                     [](const readers::DirectoryStation& a, const readers::DirectoryStation& b) {
                         return a.clicks > b.clicks;
                     });
    if (stations.size() > readers::MaxDirectoryStations) stations.resize(readers::MaxDirectoryStations);
    beginResetModel();
    m_stations = std::move(stations);
    endResetModel();
}

QString SearchResults::Format(const readers::DirectoryStation& station) {
    if (station.bitrate <= 0) return station.codec;
    return QStringLiteral("%1 · %2 kbps")
        .arg(station.codec.isEmpty() ? QStringLiteral("?") : station.codec)
        .arg(station.bitrate);
}

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
    m_model = new SearchResults(this);
    m_results = new QTableView(this);
    m_results->setObjectName(QStringLiteral("searchResults"));
    m_results->setModel(m_model);
    m_results->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_results->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->verticalHeader()->hide();
    m_results->horizontalHeader()->setStretchLastSection(true);
    m_results->setColumnWidth(0, 240);
    m_results->setWordWrap(false);
    m_results->installEventFilter(this);
    auto* keys = new QLabel(QStringLiteral("Enter 收听 · Ctrl+Enter 添加到列表"), this);
    keys->setObjectName(QStringLiteral("searchKeys"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("searchStatus"));
    // It may quote a station's name: never read as markup.
    m_status->setTextFormat(Qt::PlainText);
    m_retry = new QPushButton(QStringLiteral("重试"), this);
    m_retry->setObjectName(QStringLiteral("searchRetry"));
    m_retry->hide();
    m_play = new QPushButton(QStringLiteral("收听"), this);
    m_play->setObjectName(QStringLiteral("searchPlay"));
    m_add = new QPushButton(QStringLiteral("添加到列表"), this);
    m_add->setObjectName(QStringLiteral("searchAdd"));
    m_replace = new QPushButton(QStringLiteral("替换地址"), this);
    m_replace->setObjectName(QStringLiteral("searchReplace"));
    m_replace->hide();

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_retry);
    bottom->addWidget(m_play);
    bottom->addWidget(m_add);
    bottom->addWidget(m_replace);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_field);
    layout->addWidget(m_results, 1);
    layout->addWidget(keys);
    layout->addLayout(bottom);

    m_client = new web::DirectoryClient(fetcher, names, this);
    connect(m_client, &web::DirectoryClient::found, this, &frmSearch::Show);
    connect(m_client, &web::DirectoryClient::failed, this, &frmSearch::Failed);
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
    connect(m_results, &QTableView::doubleClicked, this, &frmSearch::PlaySelected);
    connect(m_play, &QPushButton::clicked, this, &frmSearch::PlaySelected);
    connect(m_add, &QPushButton::clicked, this, &frmSearch::AddSelected);
    connect(m_retry, &QPushButton::clicked, this, &frmSearch::Search);
    connect(m_replace, &QPushButton::clicked, this, [this] {
        const int row = m_results->currentIndex().row();
        if (row >= 0 && row < m_model->rowCount())
            emit replaceRequested(m_forName, m_forAddress, m_model->stations()[row]);
    });
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

void frmSearch::OpenFor(const QString& name, const QString& address) {
    m_forName = name;
    m_forAddress = address;
    m_replace->show();
    m_field->blockSignals(true);
    m_field->setText(name);
    m_field->blockSignals(false);
    Search();
}

void frmSearch::ShowPlayFailure(const QString& reason) {
    SetStatus(QStringLiteral("无法收听:") + reason);
}

void frmSearch::Search() {
    m_pause.stop();
    m_retry->hide();
    SetStatus(QStringLiteral("正在搜索..."));
    const QString text = m_field->text().trimmed();
    if (text.isEmpty())
        // The directory's names of the Chinese languages.
        m_client->byLanguage(
            {QStringLiteral("chinese"), QStringLiteral("mandarin"), QStringLiteral("cantonese")});
    else
        m_client->search(text);
}

void frmSearch::Show(const QList<readers::DirectoryStation>& stations) {
    m_model->setStations(stations);
    if (m_model->rowCount() > 0) m_results->selectRow(0);
    SetStatus(QStringLiteral("找到%1个电台").arg(m_model->rowCount()));
}

void frmSearch::Failed(web::DirectoryClient::Problem problem, web::Failure network) {
    using Problem = web::DirectoryClient::Problem;
    const QString why = problem == Problem::NoServer ? QStringLiteral("无法连接电台目录:找不到它的服务器")
                        : problem == Problem::Unreadable
                            ? QStringLiteral("电台目录的回答无法读取")
                            : QStringLiteral("无法连接电台目录:") + web::FailureText(network);
    // The way in that needs no directory.
    SetStatus(why + QStringLiteral("\n也可以粘贴电台链接(Ctrl+V)"));
    m_retry->show();
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
    const int row = m_results->currentIndex().row();
    if (row < 0 || row >= m_model->rowCount()) return;
    const readers::DirectoryStation& station = m_model->stations()[row];
    m_client->clicked(station.uuid);
    m_played = station.address;
    emit playRequested(station);
}

void frmSearch::AddSelected() {
    QList<int> rows;
    for (const QModelIndex& index : m_results->selectionModel()->selectedRows())
        rows << index.row();
    // In the order shown, whatever order they were picked in.
    std::sort(rows.begin(), rows.end());
    QList<readers::DirectoryStation> chosen;
    for (const int row : std::as_const(rows))
        chosen << m_model->stations()[row];
    if (!chosen.isEmpty()) emit addRequested(chosen);
}

// app/: the repair window.
#include "app/repair_window.h"

#include "app/search_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The directory's proposals shown for one station, at most.
constexpr int ShownPerStation = 3;

} // namespace

frmRepair::frmRepair(web::Fetcher& fetcher, web::DirectoryNames& names, std::vector<stations::Station> dead,
                     QWidget* parent)
    : QWidget(parent, Qt::Window), m_waiting(dead.begin(), dead.end()) {
    setObjectName(QStringLiteral("frmRepair"));
    setWindowTitle(QStringLiteral("修复电台"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(760, 360);
    m_table = new QTableWidget(0, 5, this);
    m_table->setObjectName(QStringLiteral("repairTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("电台"), QStringLiteral("原地址"),
                                        QStringLiteral("→ 目录中的电台"), QStringLiteral("国家"),
                                        QStringLiteral("格式")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(0, 160);
    m_table->setColumnWidth(1, 200);
    m_table->setColumnWidth(2, 180);
    m_status = new QLabel(QStringLiteral("正在目录中查找%1个电台...").arg(m_waiting.size()), this);
    m_status->setObjectName(QStringLiteral("repairStatus"));
    m_status->setTextFormat(Qt::PlainText);
    m_replace = new QPushButton(QStringLiteral("替换"), this);
    m_replace->setObjectName(QStringLiteral("repairReplace"));
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_replace);
    bottom->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(bottom);
    connect(m_replace, &QPushButton::clicked, this, &frmRepair::Replace);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);

    m_client = new web::DirectoryClient(fetcher, names, this);
    connect(m_client, &web::DirectoryClient::found, this, &frmRepair::Found);
    // A station the directory could not be asked about keeps its row, with nothing proposed.
    connect(m_client, &web::DirectoryClient::failed, this, [this] { Found({}); });
    AskNext();
}

frmRepair::~frmRepair() = default;

void frmRepair::AskNext() {
    if (m_waiting.empty()) {
        int checked = 0;
        for (int row = 0; row < m_table->rowCount(); ++row)
            if (m_table->item(row, 0)->checkState() == Qt::Checked) ++checked;
        m_status->setText(QStringLiteral("勾选的%1个电台将换用目录中的地址").arg(checked));
        return;
    }
    m_asking = std::move(m_waiting.front());
    m_waiting.pop_front();
    m_client->byName(m_asking.name);
}

void frmRepair::Found(const QList<readers::DirectoryStation>& stations) {
    AddRows(readers::ProposalsFor(m_asking.name, stations));
    AskNext();
}

void frmRepair::AddRows(const readers::Proposals& proposals) {
    const auto add = [this](const QStringList& texts, const readers::DirectoryStation* station,
                            bool checked) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        for (int column = 0; column < texts.size(); ++column)
            m_table->setItem(row, column, new QTableWidgetItem(texts[column]));
        if (station) m_table->item(row, 0)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        m_rows.append({m_asking, station ? station->address : QString()});
    };
    if (proposals.stations.isEmpty())
        add({m_asking.name, m_asking.address, QStringLiteral("目录中没有这个名字的电台")}, nullptr, false);
    for (int i = 0; i < std::min<int>(ShownPerStation, int(proposals.stations.size())); ++i) {
        const readers::DirectoryStation& station = proposals.stations[i];
        add({m_asking.name, m_asking.address, station.name + QStringLiteral("  ") + station.address,
             station.country, SearchResults::Format(station)},
            &station, i == 0 && proposals.clearlyBest);
    }
}

void frmRepair::Replace() {
    QList<Change> changes;
    QStringList done; // one address for each station, the first checked
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const Change& change = m_rows[row];
        const QString key = change.station.name + u'\n' + change.station.address;
        if (m_table->item(row, 0)->checkState() != Qt::Checked || done.contains(key)) continue;
        done << key;
        changes << change;
    }
    if (!changes.isEmpty()) emit replaceRequested(changes);
    close();
}

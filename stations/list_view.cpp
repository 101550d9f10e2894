// stations/: the list control lst_Play and the column set-up.
#include "stations/list_view.h"

#include "platform/error.h"
#include "platform/plain_text.h"
#include "platform/twips.h"
#include "stations/station_copy.h"

#include <QColor>
#include <QDrag>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <cfenv>
#include <cmath>
#include <limits>

namespace stations {

using platform::RuntimeError;

int StationModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int StationModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_headers.size();
}

namespace {

QString CheckKey(const Station& station) {
    return station.name + u'\n' + station.address;
}

} // namespace

QVariant StationModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const Station& s = m_rows[static_cast<size_t>(index.row())];
    const Check* check = m_checks.isEmpty() ? nullptr : checkOf(s);
    switch (role) {
    case Qt::DisplayRole:
        return platform::ShownText(index.column() == 0 ? s.name : s.address);
    case Qt::EditRole:
        return index.column() == 0 ? s.name : s.address;
    case Qt::ToolTipRole: {
        // The whole row: the address column reaches past the list's edge.
        QStringList lines = {s.name, s.address};
        if (check)
            lines << (check->failure.isEmpty() ? QStringLiteral("能连接")
                                               : QStringLiteral("无法连接:") + check->failure) +
                         check->at.toString(QStringLiteral(" (HH:mm:ss检查)"));
        return platform::PlainToolTip(lines);
    }
    case Qt::DecorationRole:
        if (!check || index.column() != 0) return {};
        return QColor(check->failure.isEmpty() ? QColor(0x2e, 0x7d, 0x32) : QColor(0xc6, 0x28, 0x28));
    case Qt::ForegroundRole:
        if (!check || check->failure.isEmpty()) return {};
        return QColor(Qt::gray);
    default:
        return {};
    }
}

void StationModel::setCheck(const Station& station, const Check& check) {
    m_checks.insert(CheckKey(station), check);
    // Every row that holds it, without looking for them: the view repaints only what it shows.
    if (!m_rows.empty()) emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, 1));
}

const StationModel::Check* StationModel::checkOf(const Station& station) const {
    const auto found = m_checks.constFind(CheckKey(station));
    return found == m_checks.cend() ? nullptr : &*found;
}

QList<int> StationModel::deadRows() const {
    QList<int> rows;
    for (int row = 0; row < int(m_rows.size()) && !m_checks.isEmpty(); ++row)
        if (const Check* check = checkOf(m_rows[size_t(row)]); check && !check->failure.isEmpty())
            rows << row;
    return rows;
}

Qt::ItemFlags StationModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid()) flags |= Qt::ItemIsDragEnabled;
    if (index.isValid() && index.column() == 0) flags |= Qt::ItemIsEditable;
    return flags;
}

bool StationModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (index.isValid() && index.column() == 0 && role == Qt::EditRole)
        emit nameEdited(index.row(), value.toString());
    return false;
}

QVariant StationModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= m_headers.size())
        return {};
    return m_headers[section];
}

void StationModel::setAddress(int row, const QString& address) {
    m_rows[static_cast<size_t>(row)].address = address;
    const QModelIndex cell = index(row, 1);
    emit dataChanged(cell, cell);
}

void StationModel::setName(int row, QString&& name) {
    m_rows[static_cast<size_t>(row)].name = std::move(name);
    const QModelIndex cell = index(row, 0);
    emit dataChanged(cell, cell);
}

void StationModel::moveRow(int from, int to) {
    if (from == to) return;
    // Qt counts the destination before the row leaves: one further when moving down.
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    Station station = std::move(m_rows[size_t(from)]);
    m_rows.erase(m_rows.begin() + from);
    m_rows.insert(m_rows.begin() + to, std::move(station));
    endMoveRows();
}

void StationModel::append(std::vector<Station>&& more) {
    if (more.empty()) return;
    const int first = static_cast<int>(m_rows.size());
    if (more.size() > static_cast<size_t>(std::numeric_limits<int>::max() - first))
        throw RuntimeError(platform::errOverflow, QStringLiteral("列表项太多"));
    beginInsertRows({}, first, first + static_cast<int>(more.size()) - 1);
    if (m_rows.empty())
        m_rows = std::move(more);
    else
        m_rows.insert(m_rows.end(), std::make_move_iterator(more.begin()),
                      std::make_move_iterator(more.end()));
    endInsertRows();
}

void StationModel::removeAt(int row) {
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void StationModel::clear() {
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

std::vector<Station> StationModel::takeAll() {
    beginResetModel();
    std::vector<Station> rows = std::move(m_rows);
    m_rows = {};
    endResetModel();
    return rows;
}

std::vector<Station> StationModel::takeRange(int first, int count) {
    if (count <= 0) return {};
    if (first == 0 && count == int(m_rows.size())) return takeAll();
    beginRemoveRows({}, first, first + count - 1);
    const auto begin = m_rows.begin() + first;
    std::vector<Station> rows(std::make_move_iterator(begin), std::make_move_iterator(begin + count));
    m_rows.erase(begin, begin + count);
    endRemoveRows();
    return rows;
}

Station StationModel::takeAt(int row) {
    beginRemoveRows({}, row, row);
    Station station = std::move(m_rows[size_t(row)]);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    return station;
}

void StationModel::insertAt(int row, Station&& station) {
    beginInsertRows({}, row, row);
    m_rows.insert(m_rows.begin() + row, std::move(station));
    endInsertRows();
}

void StationModel::addColumn(const QString& header) {
    beginInsertColumns({}, m_headers.size(), m_headers.size());
    m_headers.append(header);
    endInsertColumns();
}

QString ListItem::Text() const {
    return m_view->stationModel().at(m_row).name;
}

QString ListItem::SubItems(int i) const {
    if (i != 1) throw RuntimeError(platform::errInvalidCall, QStringLiteral("无效的子项索引"));
    return m_view->stationModel().at(m_row).address;
}

void ListItem::SetSubItems(int i, const QString& text) {
    if (i != 1) throw RuntimeError(platform::errInvalidCall, QStringLiteral("无效的子项索引"));
    m_view->stationModel().setAddress(m_row, text);
}

namespace {

// Qt sizes every header caption in bold, in case a section is ever highlighted. This header never highlights
// one, and the bold faces (a Latin one and a CJK one for the Chinese captions) are two more font files to
// open before the window can first show; the regular face gives the same height.
class ListHeader : public QHeaderView {
public:
    explicit ListHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
        setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        setHighlightSections(false);
    }

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override {
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.section = logicalIndex;
        option.fontMetrics = fontMetrics();
        option.text = model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
        return style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this);
    }
};

} // namespace

ListView::ListView(QWidget* parent) : QTreeView(parent) {
    setHeader(new ListHeader(this));
    setModel(&m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // a list of 100,000 stations must not measure every row
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // A name is edited in place only when the user asks for it (F2, 重命名): a click or a double-click selects
    // and plays, as they always did.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setAllColumnsShowFocus(true);
    setTextElideMode(Qt::ElideNone);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->hide();
    // The empty list's line comes and goes with the rows.
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&m_model, signal, this, [this] { UpdateAccessibleHint(); });
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] { UpdateAccessibleHint(); });
}

void ListView::SetEmptyHint(const QString& hint) {
    m_emptyHint = hint;
    UpdateAccessibleHint();
    viewport()->update();
}

void ListView::UpdateAccessibleHint() {
    setAccessibleDescription(m_model.rowCount() == 0 ? m_emptyHint : QString());
}

void ListView::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    if (m_model.rowCount() != 0 || m_emptyHint.isEmpty()) return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_emptyHint);
}

void ListView::startDrag(Qt::DropActions) {
    const std::optional<ListItem> selected = SelectedItem();
    if (!selected) return;
    QMimeData* data = StationsMimeData({{selected->Text(), selected->SubItems(1)}});
    if (!data) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void ListView::SetView(int view) {
    m_view = view;
    header()->setVisible(view == 3);
}

void ListView::ColumnHeaders_Add(const QString& text, qint16 widthTwips) {
    m_model.addColumn(text);
    m_columnWidths.push_back(widthTwips);
    header()->resizeSection(
        m_model.columnCount() - 1,
        std::max(0, static_cast<int>(std::lround(widthTwips / platform::TwipsPerPixelX()))));
}

int ListView::ColumnCount() const {
    return m_model.columnCount();
}

QString ListView::ColumnHeaderText(int column) const {
    return m_model.headerData(column - 1, Qt::Horizontal, Qt::DisplayRole).toString();
}

qint16 ListView::ColumnWidth(int column) const {
    return m_columnWidths.at(static_cast<size_t>(column - 1));
}

void ListView::checkIndex(int index) const {
    if (index < 1 || index > m_model.rowCount())
        throw RuntimeError(platform::errInvalidCall, QStringLiteral("索引超出范围: %1").arg(index));
}

ListItem ListView::Items::Add(const QString& text) {
    std::vector<Station> one;
    one.push_back({text, QString()});
    m_view->m_model.append(std::move(one));
    return ListItem(m_view, m_view->m_model.rowCount() - 1);
}

void ListView::Items::AddMany(std::vector<Station>&& stations) {
    m_view->m_model.append(std::move(stations));
}

void ListView::Items::Remove(int index) {
    m_view->checkIndex(index);
    m_view->m_model.removeAt(index - 1);
}

void ListView::Items::Clear() {
    m_view->m_model.clear();
}

int ListView::Items::Count() const {
    return m_view->m_model.rowCount();
}

ListItem ListView::Items::Item(int index) const {
    m_view->checkIndex(index);
    return ListItem(m_view, index - 1);
}

std::optional<ListItem> ListView::SelectedItem() {
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    return ListItem(this, rows.first().row());
}

void ListView::Select(int index) {
    if (index == 0) {
        selectionModel()->clearSelection();
        return;
    }
    checkIndex(index);
    const QModelIndex cell = m_model.index(index - 1, 0);
    selectionModel()->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

ListView::ViewState ListView::CurrentViewState() {
    const std::optional<ListItem> selected = SelectedItem();
    return {selected ? selected->Index() : 0, verticalScrollBar()->value()};
}

void ListView::RestoreViewState(const ViewState& state) {
    Select(state.selected >= 1 && state.selected <= m_model.rowCount() ? state.selected : 0);
    // The selection scrolls its row into view; the scroll as it was comes after.
    verticalScrollBar()->setValue(state.scroll);
}

qint16 ColumnUnit(float widthTwips) {
    const float difference = widthTwips - 60.0f;
    // Round half to even, as the conversion to a 32-bit integer does.
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(static_cast<double>(difference));
    std::fesetround(previous);
    if (!std::isfinite(rounded) || rounded < std::numeric_limits<qint32>::min() ||
        rounded > std::numeric_limits<qint32>::max())
        throw RuntimeError(platform::errOverflow, QStringLiteral("溢出"));
    const qint32 quotient = static_cast<qint32>(rounded) / 24;
    if (quotient < std::numeric_limits<qint16>::min() || quotient > std::numeric_limits<qint16>::max())
        throw RuntimeError(platform::errOverflow, QStringLiteral("溢出"));
    return static_cast<qint16>(quotient);
}

qint16 Mul16(qint16 a, qint16 b) {
    const qint32 product = static_cast<qint32>(a) * static_cast<qint32>(b);
    if (product < std::numeric_limits<qint16>::min() || product > std::numeric_limits<qint16>::max())
        throw RuntimeError(platform::errOverflow, QStringLiteral("溢出"));
    return static_cast<qint16>(product);
}

void SetUpColumns(ListView& list) {
    const qint16 unit = ColumnUnit(list.Width());
    list.SetView(3);
    list.ColumnHeaders_Add(QStringLiteral("电台名称"), Mul16(unit, 20));
    list.ColumnHeaders_Add(QStringLiteral("网络地址"), Mul16(unit, 30));
}

} // namespace stations

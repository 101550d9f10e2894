// stations/: the station list control lst_Play: a two-column report list of station entries.
//
// The list holds the only copy of the stations. Other rooms use it through the operations below (ListItems()
// Add / Remove / Clear / Count / Item, SelectedItem(), an entry's Index / Text / SubItems(1)); positions are
// 1-based and contiguous. The cells show a bounded part of long text (platform/plain_text.h); the column set-up
// measures in twips.
#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTreeView>
#include <optional>
#include <vector>

namespace stations {

struct Station {
    QString name;
    QString address;
};

// The rows and the column headers behind the view.
class StationModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A name may be edited in place; the edit is not made here but asked for (nameEdited), so that the list's
    // owner makes it a change of the list like any other.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    const std::vector<Station>& stations() const { return m_rows; }
    // What a check found of a station (StationChecker), for this run only: kept by the station's name and
    // address, so that a row renamed or given another address shows no check until it is checked again. The
    // row shows it as a mark beside the name, the text greyed for one that did not answer, and in its tooltip.
    struct Check {
        QString failure; // why it did not answer, in the strip's words; empty when it answered
        QDateTime at;
    };
    void setCheck(const Station& station, const Check& check);
    const Check* checkOf(const Station& station) const;
    // The rows whose station did not answer when last checked, in order.
    QList<int> deadRows() const;
    Station& at(int row) { return m_rows[static_cast<size_t>(row)]; }
    void setAddress(int row, const QString& address);
    void setName(int row, QString&& name);
    // Moves the row at from to the place to, the rows between moving one place.
    void moveRow(int from, int to);
    void append(std::vector<Station>&& more);
    void removeAt(int row);
    void clear();
    // The moves the list's history makes: rows leave the model and come back without being copied.
    std::vector<Station> takeAll();
    std::vector<Station> takeRange(int first, int count);
    Station takeAt(int row);
    void insertAt(int row, Station&& station);
    void addColumn(const QString& header);

signals:
    // The user typed text as the name of the row in its editor.
    void nameEdited(int row, const QString& text);

private:
    std::vector<Station> m_rows;
    QStringList m_headers;
    QHash<QString, Check> m_checks;
};

class ListView;

// One entry of the list, as the list control hands it out. It stays valid until the list next changes.
class ListItem {
public:
    ListItem(ListView* view, int row) : m_view(view), m_row(row) {}
    int Index() const { return m_row + 1; } // 1-based position
    QString Text() const;                   // the name
    QString SubItems(int i) const;          // 1: the address
    void SetSubItems(int i, const QString& text);

private:
    ListView* m_view;
    int m_row;
};

class ListView : public QTreeView {
    Q_OBJECT
public:
    explicit ListView(QWidget* parent = nullptr);

    // The width in twips, as the layout placed the list (read by the column set-up).
    float Width() const { return m_widthTwips; }
    void SetWidth(float twips) { m_widthTwips = twips; }

    // 3 is the report view: rows under a row of column headers.
    int View() const { return m_view; }
    void SetView(int view);

    // Appends a column after the existing ones; the width is in twips.
    void ColumnHeaders_Add(const QString& text, qint16 widthTwips);
    int ColumnCount() const;
    QString ColumnHeaderText(int column) const; // 1-based
    qint16 ColumnWidth(int column) const;       // 1-based, in twips

    class Items {
    public:
        explicit Items(ListView* view) : m_view(view) {}
        ListItem Add(const QString& text); // becomes the last entry
        void Remove(int index);            // 1-based; later entries move up
        void Clear();                      // the columns stay
        int Count() const;
        ListItem Item(int index) const;                // 1-based
        void AddMany(std::vector<Station>&& stations); // what a load of many Add calls does, at once
    private:
        ListView* m_view;
    };
    Items ListItems() { return Items(this); }

    std::optional<ListItem> SelectedItem();
    // Selects the entry at a 1-based position (what a user's click does); 0 selects nothing.
    void Select(int index);

    // What the user sees of the list besides its rows: the selected entry (1-based, 0 for none) and how far it
    // is scrolled.
    struct ViewState {
        int selected = 0;
        int scroll = 0;
    };
    ViewState CurrentViewState();
    void RestoreViewState(const ViewState& state);

    // The typed model behind the view; QAbstractItemView::model() stays Qt's own.
    StationModel& stationModel() { return m_model; }

    // A line painted in the list while it has no rows (how stations come in), and told as the list's
    // accessible description; it is no row, and goes as soon as one exists.
    void SetEmptyHint(const QString& hint);
    QString EmptyHint() const { return m_emptyHint; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // A row dragged away carries the station as a copy (StationsMimeData): whatever the target does, no row
    // leaves the list; a drop back on the list is the list owner's to make a move of.
    void startDrag(Qt::DropActions supportedActions) override;

private:
    void checkIndex(int index) const;

    void UpdateAccessibleHint();

    StationModel m_model;
    QString m_emptyHint;
    float m_widthTwips = 0;
    int m_view = 0;
    std::vector<qint16> m_columnWidths;
};

// The column unit of the set-up: (W - 60) rounded half-to-even to 32 bits, divided by 24, narrowed to 16
// bits. Throws the overflow error when a step leaves its range.
qint16 ColumnUnit(float widthTwips);
// a * b in signed 16 bits; throws the overflow error outside that range.
qint16 Mul16(qint16 a, qint16 b);

// Report view, then column 1 "电台名称" at U × 20, then column 2 "网络地址" at U × 30.
void SetUpColumns(ListView& list);

} // namespace stations

// app/: the search window "搜索电台" (Ctrl+F in the main window): stations of the community's directory found by
// name or tag, played at once or added to the list. A second top-level window, not modal, built only when the
// key is first pressed; it talks to the directory only while it is open, and closes with the main window. It
// says what its keys do, what went wrong (with a way to try again, and the way that needs no directory), and why a
// station played from it could not be heard.
#pragma once

#include "readers/directory_json.h"
#include "web/directory.h"

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace web {
class DirectoryNames;
class Fetcher;
} // namespace web

// The results as the window shows them: the most listened first, at most MaxDirectoryStations, with the codec
// and bitrate in one column.
class SearchResults : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setStations(QList<readers::DirectoryStation> stations);
    const QList<readers::DirectoryStation>& stations() const { return m_stations; }

    // "MP3 · 128 kbps", "MP3", "? · 64 kbps", or nothing.
    static QString Format(const readers::DirectoryStation& station);

private:
    QList<readers::DirectoryStation> m_stations;
};

class frmSearch : public QWidget {
    Q_OBJECT
public:
    // Typing waits this long after the last key before it asks the directory.
    static constexpr int PauseMs = 300;

    frmSearch(web::Fetcher& fetcher, web::DirectoryNames& names, QWidget* parent);
    ~frmSearch() override;

    // What the window says is happening.
    QString Status() const;
    void SetStatus(const QString& text);
    // The address of the station last played from here; empty when none was.
    QString Played() const { return m_played; }
    // Searches for a station of the list by its name, instead of the opening list, and offers 替换地址: the
    // station found takes the place of the one of the list, whose address no longer answers.
    void OpenFor(const QString& name, const QString& address);
    // A station played from here could not be heard: reason in the strip's words.
    void ShowPlayFailure(const QString& reason);

signals:
    // A result to listen to now, and results to append to the list.
    void playRequested(const readers::DirectoryStation& station);
    void addRequested(const QList<readers::DirectoryStation>& stations);
    // The list's station name at oldAddress is to have the address of found.
    void replaceRequested(const QString& name, const QString& oldAddress,
                          const readers::DirectoryStation& found);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Search();
    void Show(const QList<readers::DirectoryStation>& stations);
    void Failed(web::DirectoryClient::Problem problem, web::Failure network);
    void PlaySelected();
    void AddSelected();

    web::DirectoryClient* m_client = nullptr;
    QLineEdit* m_field = nullptr;
    SearchResults* m_model = nullptr;
    QTableView* m_results = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_retry = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_replace = nullptr;
    QTimer m_pause;
    QString m_played;
    QString m_forName, m_forAddress; // the list's station it was opened for
};

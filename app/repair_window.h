// app/: the window "修复电台": for each station of the list that did not answer when last checked, the directory's
// stations of exactly its name, the best first, each with a check box, checked only where one is clearly best;
// 替换 gives the checked ones' addresses to the list's stations, as one change. Nothing is replaced without the
// listener's click. Not modal, one at a time, closed by Escape, gone with the main window.
#pragma once

#include "readers/directory_json.h"
#include "stations/list_view.h"
#include "web/directory.h"

#include <QList>
#include <QWidget>

#include <deque>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

class frmRepair : public QWidget {
    Q_OBJECT
public:
    frmRepair(web::Fetcher& fetcher, web::DirectoryNames& names, std::vector<stations::Station> dead,
              QWidget* parent);
    ~frmRepair() override;

    // One replacement: the list's station as it is, and the address it is to have.
    struct Change {
        stations::Station station;
        QString address;
    };

signals:
    void replaceRequested(const QList<frmRepair::Change>& changes);

private:
    void AskNext();
    void Found(const QList<readers::DirectoryStation>& stations);
    void AddRows(const readers::Proposals& proposals);
    void Replace();

    web::DirectoryClient* m_client = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_replace = nullptr;
    std::deque<stations::Station> m_waiting;
    stations::Station m_asking;
    QList<Change> m_rows; // what each row would do, by row
};

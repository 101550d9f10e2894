// app/: the search window "搜索电台" (Ctrl+F in the main window): stations of the community's directory found by
// name or tag, played at once or added to the list. A second top-level window, not modal, built only when the
// key is first pressed; it talks to the directory only while it is open, and closes with the main window.
#pragma once

#include "readers/directory_json.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace web {
class DirectoryClient;
class DirectoryNames;
class Fetcher;
} // namespace web

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

signals:
    // A result to listen to now, and results to append to the list.
    void playRequested(const readers::DirectoryStation& station);
    void addRequested(const QList<readers::DirectoryStation>& stations);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Search();
    void Show(const QList<readers::DirectoryStation>& stations);
    void PlaySelected();
    void AddSelected();

    web::DirectoryClient* m_client = nullptr;
    QLineEdit* m_field = nullptr;
    QTableWidget* m_results = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_add = nullptr;
    QTimer m_pause;
    QList<readers::DirectoryStation> m_shown;
};

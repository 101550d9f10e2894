// app/: the window "播放记录" (Ctrl+H in the main window): the titles heard since the program started, newest
// first, to copy (Ctrl+C) or save as text, and the door to the recordings' folder. A second top-level window,
// not modal, one at a time, built when the key is first pressed; it goes with the main window.
#pragma once

#include "player/title_history.h"

#include <QWidget>

class QTableWidget;

class frmHistory : public QWidget {
    Q_OBJECT
public:
    // history is the program's, and outlives the window; recordings is the folder the button opens.
    frmHistory(const player::TitleHistory& history, const QString& recordings, QWidget* parent);

    // Shows the history's rows as they are now.
    void Refresh();
    // The selected rows as text, as Ctrl+C copies them.
    QString SelectedText() const;

private:
    void CopySelected();
    void Save();
    void OpenRecordings();

    const player::TitleHistory& m_history;
    QString m_recordings;
    QTableWidget* m_table = nullptr;
};

#pragma once

#include "song/Song.h"

#include <QString>
#include <QWidget>

class QTableWidget;

// One page of the main window's stacked area. The window hands every page the current song
// and the X-ray mode, and gives the keyboard focus to the page's editor when it is shown.
// A page without an editor of its own shows the song read-only in a table.
class EditorPage : public QWidget {
    Q_OBJECT

public:
    explicit EditorPage(QWidget* parent = nullptr);

    virtual void setSong(const SongPointer& song);
    virtual void setXRayMode(bool on);
    // The shortcut context whose entries apply while this page is shown.
    virtual QString shortcutContext() const = 0;
    virtual QWidget* focusTarget();

    bool xRayMode() const { return m_xRay; }
    QTableWidget* table() const { return m_table; }

public slots:
    // Rebuilds the table from the song.
    virtual void refresh() = 0;

protected:
    // A page whose editor is `editor`, in place of the table.
    EditorPage(QWidget* editor, QWidget* parent);

    void setColumns(const QStringList& headers, int rows);
    void setCell(int row, int column, const QString& text);

    SongPointer m_song;

private:
    QTableWidget* m_table = nullptr;
    QWidget* m_editor;
    bool m_xRay = false;
};

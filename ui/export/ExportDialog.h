#pragma once

#include "song/Song.h"
#include "ui/MessageBoxes.h"
#include "ui/export/WavExport.h"

#include <QDialog>

#include <atomic>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QThread;

// Exports the song to WAV: a file name, a range, a sample format and optionally a file per
// Output node. The render runs on a thread of its own over a copy of the song, so the window
// stays responsive and playback goes on; Cancel stops it and leaves no file.
class ExportDialog : public QDialog {
    Q_OBJECT

public:
    // Asks for the file to write; empty when the user cancels. Tests answer for the user.
    using FileChooser = std::function<QString(QWidget* parent, const QString& suggestion)>;

    static const QString kTitle;

    explicit ExportDialog(QWidget* parent = nullptr);
    ~ExportDialog() override;

    // The live song; it is read only when an export starts.
    void setSong(const SongPointer& song);
    // Fills the file name unless the user already chose one.
    void suggestPath(const QString& path);
    bool busy() const { return m_thread != nullptr; }

    FileChooser chooseFile;
    Informer warn;
    Questioner ask;

public slots:
    void browse();
    void startExport();
    void cancelExport();

signals:
    // The export ended and the dialog has shown what it had to say.
    void exported(const ExportResult& result);

protected:
    void showEvent(QShowEvent* event) override;
    // Escape and closing stop a running export first.
    void reject() override;

private:
    void layOut();
    // Offers only the ranges and the per-output files the song has.
    void refreshChoices();
    ExportRange range() const;
    // The file to write, after asking about replacing one; empty when there is none.
    QString confirmedPath();
    void setBusy(bool busy);
    void showProgress(const ExportProgress& progress);
    void finishExport(const ExportResult& result);

    SongPointer m_song;
    QString m_browsedPath; // the file dialog already asked about replacing it
    std::unique_ptr<QThread> m_thread;
    std::shared_ptr<std::atomic_bool> m_cancel;
    QLineEdit* m_path;
    QPushButton* m_browse;
    QRadioButton* m_sequence;
    QRadioButton* m_loop;
    QRadioButton* m_seconds;
    QDoubleSpinBox* m_secondsBox;
    QComboBox* m_format;
    QCheckBox* m_perOutput;
    QProgressBar* m_progress;
    QLabel* m_speed;
    QPushButton* m_export;
    QPushButton* m_cancelButton;
};

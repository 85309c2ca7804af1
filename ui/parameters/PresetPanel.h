#pragma once

#include "processors/Processor.h"
#include "processors/presets/PresetLibrary.h"
#include "ui/MessageBoxes.h"

#include <QSharedPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QListWidget;
class QPushButton;

// The Presets tab of the parameter view: the factory presets of the processor's type, then
// the user's own. Choosing one applies it to the processor at once, so presets can be
// auditioned with the arrow keys while the song plays.
class PresetPanel : public QWidget {
    Q_OBJECT
public:
    // Where the node's processor is now: playing from the start renews it, and a preset
    // must reach the one that sounds. Its type is read once, at construction.
    using ProcessorSource = std::function<QSharedPointer<Processor>()>;

    explicit PresetPanel(const ProcessorSource& processor, QWidget* parent = nullptr);

    // The dialogs, replaceable so that tests can answer in the user's place. An empty name
    // or path cancels.
    Informer inform;
    Questioner ask;
    std::function<QString(const QString& suggestion)> askName;
    std::function<QString()> askOpenFile;
    std::function<QString(const QString& suggestion)> askSaveFile;

public slots:
    void updatePreset(); // "Update": overwrite the chosen user preset with the current values
    void add(); // "Add": ask for a name, store the current values as a new user preset
    void remove(); // "Delete": remove the chosen user preset
    void importPreset(); // "Import...": read one preset file, add it to the library and apply it
    void exportPreset(); // "Export...": write the chosen (or current) preset to a file

signals:
    void applied(); // a preset was applied to the processor

private:
    void layOut();
    void fill(int currentRow);
    void enableButtons();
    // The preset of a list row: factory presets first, then the library's.
    const Preset* presetAt(int row) const;
    int userIndex(int row) const;
    QStringList names() const;
    void apply(int row);
    void store(const QList<Preset>& presets, int currentRow);

    QSharedPointer<Processor> processor() const { return m_processorOf(); }

    const ProcessorSource m_processorOf;
    const QList<Preset> m_factory;
    const std::unique_ptr<PresetLibrary> m_library; // none without a processor
    QListWidget* const m_list;
    QPushButton* const m_update;
    QPushButton* const m_add;
    QPushButton* const m_delete;
    QPushButton* const m_import;
    QPushButton* const m_export;
};

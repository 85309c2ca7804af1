#include "ui/parameters/PresetPanel.h"

#include "processors/presets/FactoryPresets.h"
#include "processors/presets/PresetFile.h"
#include "processors/presets/PresetValues.h"
#include "ui/Logging.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const kNotLoaded = QT_TRANSLATE_NOOP("PresetPanel", "Preset not loaded");
const char* const kNotSaved = QT_TRANSLATE_NOOP("PresetPanel", "Preset not saved");
const char* const kFileFilter
    = QT_TRANSLATE_NOOP("PresetPanel", "Zarn presets (*.zarnpreset);;All files (*)");
const QLatin1String kSuffix(".zarnpreset");

QString typeOf(const QSharedPointer<Processor>& processor)
{
    return processor ? processor->character().typeID : QString();
}

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

QPushButton* button(const QString& text, const char* objectName, QWidget* parent)
{
    auto* made = new QPushButton(text, parent);
    made->setObjectName(QLatin1String(objectName));
    made->setAutoDefault(false);
    return made;
}

} // namespace

PresetPanel::PresetPanel(const ProcessorSource& source, QWidget* parent)
    : QWidget(parent)
    , inform(messageBoxes::informer(this))
    , ask(messageBoxes::questioner(this))
    , m_processorOf(source)
    , m_factory(factoryPresets(typeOf(source())))
    , m_library(source() ? new PresetLibrary(typeOf(source()), source()->schema()) : nullptr)
    , m_list(new QListWidget(this))
    , m_update(button(tr("Update"), "pushButtonUpdate", this))
    , m_add(button(tr("Add"), "pushButtonAdd", this))
    , m_delete(button(tr("Delete"), "pushButtonDelete", this))
    , m_import(button(tr("Import..."), "pushButtonImport", this))
    , m_export(button(tr("Export..."), "pushButtonExport", this))
{
    askName = [this](const QString& suggestion) {
        return QInputDialog::getText(
            this, tr("Add preset"), tr("Name:"), QLineEdit::Normal, suggestion);
    };
    askOpenFile = [this] {
        return QFileDialog::getOpenFileName(this, tr("Import preset"), {}, tr(kFileFilter));
    };
    askSaveFile = [this](const QString& suggestion) {
        return QFileDialog::getSaveFileName(this, tr("Export preset"), suggestion, tr(kFileFilter));
    };
    m_list->setObjectName(QStringLiteral("listWidgetPresets"));
    m_update->setToolTip(tr("Store the current values in the chosen preset"));
    m_add->setToolTip(tr("Store the current values as a new preset"));
    m_delete->setToolTip(tr("Delete the chosen preset"));
    m_import->setToolTip(tr("Add a preset from a file and apply it"));
    m_export->setToolTip(tr("Write the chosen preset, or the current values, to a file"));
    layOut();

    if (m_library && !m_library->loadError().isEmpty())
        qCWarning(lcUi).noquote() << "Preset library" << shown(m_library->path())
                                  << "not loaded:" << m_library->loadError();
    fill(-1);
    // Moving through the list auditions each preset; activating one again brings it back
    // after the sliders were moved.
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        enableButtons();
        apply(row);
    });
    connect(m_list, &QListWidget::itemActivated, this,
        [this](QListWidgetItem* item) { apply(m_list->row(item)); });
    connect(m_update, &QPushButton::clicked, this, &PresetPanel::updatePreset);
    connect(m_add, &QPushButton::clicked, this, &PresetPanel::add);
    connect(m_delete, &QPushButton::clicked, this, &PresetPanel::remove);
    connect(m_import, &QPushButton::clicked, this, &PresetPanel::importPreset);
    connect(m_export, &QPushButton::clicked, this, &PresetPanel::exportPreset);
}

void PresetPanel::updatePreset()
{
    const int index = userIndex(m_list->currentRow());
    if (index < 0 || !processor())
        return;
    QList<Preset> presets = m_library->presets();
    presets[index].values = presets::capture(*processor(), QString()).values;
    store(presets, m_list->currentRow());
}

void PresetPanel::add()
{
    if (!processor())
        return;
    const Preset* current = presetAt(m_list->currentRow());
    const QString base = current ? current->name : tr("%1 preset").arg(typeOf(processor()));
    const QString wanted
        = askName(presets::uniqueName(base, names())).trimmed().left(presets::kMaxNameLength);
    if (wanted.isEmpty())
        return;
    QList<Preset> presets = m_library->presets();
    presets.append(presets::capture(*processor(), presets::uniqueName(wanted, names())));
    store(presets, int(m_factory.size() + presets.size() - 1));
}

void PresetPanel::remove()
{
    const int row = m_list->currentRow();
    const int index = userIndex(row);
    if (index < 0
        || !ask(tr("Delete preset"),
            tr("Delete the preset \"%1\"?").arg(m_library->presets().at(index).name)))
        return;
    QList<Preset> presets = m_library->presets();
    presets.removeAt(index);
    store(presets, std::min(row, int(m_factory.size() + presets.size()) - 1));
}

void PresetPanel::importPreset()
{
    if (!processor())
        return;
    const QString path = askOpenFile();
    if (path.isEmpty())
        return;
    const SchemaPointer schema = processor()->schema();
    Outcome<Preset> read
        = presetFile::load(path, typeOf(processor()), schema ? *schema : NodeParameterSchema());
    if (!read.ok()) {
        inform(tr(kNotLoaded), tr("%1 was not loaded: %2.").arg(shown(path), read.error));
        return;
    }
    read.value.name = presets::uniqueName(read.value.name, names());
    QList<Preset> presets = m_library->presets();
    presets.append(read.value);
    // The file was good, so it is heard even when the library cannot keep it.
    presets::apply(read.value, *processor());
    emit applied();
    store(presets, int(m_factory.size() + presets.size() - 1));
}

void PresetPanel::exportPreset()
{
    if (!processor())
        return;
    const Preset* current = presetAt(m_list->currentRow());
    const Preset preset = current
        ? *current
        : presets::capture(*processor(), tr("%1 preset").arg(typeOf(processor())));
    const QString path = askSaveFile(QString(preset.name).replace(QLatin1Char('/'), '-') + kSuffix);
    if (path.isEmpty())
        return;
    const QString error = presetFile::write(path, presetFile::encode(preset));
    if (!error.isEmpty())
        inform(tr(kNotSaved), tr("%1 was not written: %2.").arg(shown(path), error));
}

void PresetPanel::layOut()
{
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : { m_update, m_add, m_delete, m_import, m_export })
        buttons->addWidget(b);
    auto* column = new QVBoxLayout(this);
    column->addWidget(m_list);
    column->addLayout(buttons);
}

// Rebuilds the list without applying anything: the processor already sounds like the row
// made current here, or like nothing in the list.
void PresetPanel::fill(int currentRow)
{
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    for (const Preset& preset : m_factory) {
        auto* item = new QListWidgetItem(tr("%1 (factory)").arg(preset.name), m_list);
        item->setToolTip(tr("Factory preset: it cannot be updated or deleted"));
    }
    if (m_library)
        for (const Preset& preset : m_library->presets())
            new QListWidgetItem(preset.name, m_list);
    m_list->setCurrentRow(currentRow);
    enableButtons();
}

void PresetPanel::enableButtons()
{
    const bool user = userIndex(m_list->currentRow()) >= 0;
    m_update->setEnabled(user);
    m_delete->setEnabled(user);
    for (QPushButton* b : { m_add, m_import, m_export })
        b->setEnabled(!!processor());
}

const Preset* PresetPanel::presetAt(int row) const
{
    if (row >= 0 && row < m_factory.size())
        return &m_factory.at(row);
    const int index = userIndex(row);
    return index >= 0 ? &m_library->presets().at(index) : nullptr;
}

// The library index of a list row, or -1 for a factory row or none.
int PresetPanel::userIndex(int row) const
{
    const int index = row - int(m_factory.size());
    return m_library && index >= 0 && index < m_library->presets().size() ? index : -1;
}

QStringList PresetPanel::names() const
{
    QStringList taken;
    for (const Preset& preset : m_factory)
        taken.append(preset.name);
    if (m_library)
        for (const Preset& preset : m_library->presets())
            taken.append(preset.name);
    return taken;
}

void PresetPanel::apply(int row)
{
    const Preset* preset = presetAt(row);
    if (!processor() || !preset)
        return;
    presets::apply(*preset, *processor());
    emit applied();
}

// Saves the library and lists it with `currentRow` current; a refused save changes nothing.
void PresetPanel::store(const QList<Preset>& presets, int currentRow)
{
    const QString error = m_library->save(presets);
    if (!error.isEmpty()) {
        inform(tr(kNotSaved),
            tr("The preset library %1 was not changed: %2.").arg(shown(m_library->path()), error));
        return;
    }
    fill(currentRow);
}

#include "ui/shortcuts/ShortcutHelpWidget.h"

#include "ui_ShortcutHelpWidget.h"

#include "ui/shortcuts/ShortcutFilterProxyModel.h"
#include "ui/shortcuts/ShortcutModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QShortcut>
#include <QTextDocument>

namespace {

const char* const kFilterToolTip = QT_TRANSLATE_NOOP(
    "ShortcutHelpWidget", "Show the shortcuts whose name or details match this regular expression");
const char* const kLiteralToolTip = QT_TRANSLATE_NOOP(
    "ShortcutHelpWidget", "Not a valid regular expression (%1); matching the text as typed");
const QColor kLiteralBackground { 110, 40, 40 };
const QColor kLiteralText { 255, 255, 255 };
// The model paints dark backgrounds and greys out only the inactive rows' text; the active
// rows need light text whatever the application palette is.
const QColor kTableText { 225, 225, 225 };

const QList<QKeySequence> kCloseKeys { Qt::Key_Escape, Qt::CTRL | Qt::Key_W };

constexpr int kNameWidth = 200;
constexpr int kContextWidth = 130;
constexpr int kShortcutWidth = 150;
constexpr int kRowPadding = 6;

} // namespace

ShortcutHelpWidget::ShortcutHelpWidget(QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::ShortcutHelpWidget>())
    , m_model(new ShortcutModel(ShortcutRegistry::instance(), this))
    , m_proxy(new ShortcutFilterProxyModel(this))
{
    m_ui->setupUi(this);
    m_proxy->setSourceModel(m_model);

    QTableView* const table = m_ui->tableViewKeyboardShortcuts;
    table->setModel(m_proxy);
    // The model paints the rows' backgrounds by context; alternating colours would fight it.
    table->setAlternatingRowColors(false);
    QPalette tablePalette = table->palette();
    tablePalette.setColor(QPalette::Text, kTableText);
    tablePalette.setColor(QPalette::Base, ShortcutModel::kInactiveBackground);
    table->setPalette(tablePalette);
    QHeaderView* const header = table->horizontalHeader();
    header->setSectionResizeMode(ShortcutModel::Name, QHeaderView::Interactive);
    header->setSectionResizeMode(ShortcutModel::Details, QHeaderView::Stretch);
    header->setSectionResizeMode(ShortcutModel::Context, QHeaderView::Interactive);
    header->setSectionResizeMode(ShortcutModel::Shortcut, QHeaderView::Interactive);
    table->setColumnWidth(ShortcutModel::Name, kNameWidth);
    table->setColumnWidth(ShortcutModel::Context, kContextWidth);
    table->setColumnWidth(ShortcutModel::Shortcut, kShortcutWidth);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + kRowPadding);

    m_filterPalette = m_ui->plainTextEditFilter->palette();
    m_ui->plainTextEditFilter->setToolTip(tr(kFilterToolTip));
    m_ui->plainTextEditFilter->installEventFilter(this);
    fitFilterToOneLine();

    // Without a window manager the window has no other way to be closed. The shortcut
    // acts before the filter sees the key, so it closes from the filter as well.
    auto* closing = new QShortcut(this);
    closing->setKeys(kCloseKeys);
    connect(closing, &QShortcut::activated, this, &QWidget::close);
}

ShortcutHelpWidget::~ShortcutHelpWidget() = default;

void ShortcutHelpWidget::setContext(const QString& context)
{
    m_model->setContext(context);
}

void ShortcutHelpWidget::on_plainTextEditFilter_textChanged()
{
    QPlainTextEdit* const edit = m_ui->plainTextEditFilter;
    const QString text = edit->toPlainText();
    const QRegularExpression expression(text);
    // A half-typed expression such as "paste(" would otherwise match nothing and empty
    // the table without a word; it is matched as plain text until it becomes valid.
    m_literal = !expression.isValid();
    m_proxy->setFilterText(m_literal ? QRegularExpression::escape(text) : text);

    QPalette palette = m_filterPalette;
    if (m_literal) {
        palette.setColor(QPalette::Base, kLiteralBackground);
        palette.setColor(QPalette::Text, kLiteralText);
    }
    edit->setPalette(palette);
    edit->setToolTip(
        m_literal ? tr(kLiteralToolTip).arg(expression.errorString()) : tr(kFilterToolTip));
}

bool ShortcutHelpWidget::eventFilter(QObject* watched, QEvent* event)
{
    // The filter is a single line: Return must not open a second one.
    if (watched == m_ui->plainTextEditFilter && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ShortcutHelpWidget::fitFilterToOneLine()
{
    QPlainTextEdit* const edit = m_ui->plainTextEditFilter;
    const int margins = int(edit->document()->documentMargin() * 2);
    const int frame = edit->frameWidth() * 2;
    edit->setFixedHeight(edit->fontMetrics().lineSpacing() + margins + frame);
}

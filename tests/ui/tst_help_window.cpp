#include "ui/shortcuts/ShortcutHelpWidget.h"
#include "ui/shortcuts/ShortcutModel.h"
#include "ui/shortcuts/ShortcutRegistry.h"

#include <QPlainTextEdit>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QtTest>

#include <functional>

class HelpWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void filterKeepsMatchingRows_data();
    void filterKeepsMatchingRows();
    void clearingTheFilterShowsEveryRow();
    void invalidExpressionMatchesLiterally_data();
    void invalidExpressionMatchesLiterally();
    void filterStaysOneLine();
    void contextHighlightReachesTheView_data();
    void contextHighlightReachesTheView();
    void closeKeysClose_data();
    void closeKeysClose();

private:
    QPlainTextEdit* filter() const
    {
        return m_help->findChild<QPlainTextEdit*>(QStringLiteral("plainTextEditFilter"));
    }
    QAbstractItemModel* shown() const
    {
        return m_help->findChild<QTableView*>(QStringLiteral("tableViewKeyboardShortcuts"))
            ->model();
    }
    // Rows of the registry for which `accepts` holds for the name or the details.
    static int registryRowsWhere(const std::function<bool(const QString&)>& accepts);

    std::unique_ptr<ShortcutHelpWidget> m_help;
};

int HelpWindowTest::registryRowsWhere(const std::function<bool(const QString&)>& accepts)
{
    const ShortcutRegistry& registry = ShortcutRegistry::instance();
    int count = 0;
    for (const ShortcutEntry& e : registry.entries())
        count += accepts(e.name) || accepts(e.description) ? 1 : 0;
    for (const ShortcutHoldEntry& e : registry.holdEntries())
        count += accepts(e.name) || accepts(e.description) ? 1 : 0;
    return count;
}

void HelpWindowTest::init()
{
    m_help = std::make_unique<ShortcutHelpWidget>();
    m_help->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_help.get()));
    QVERIFY(filter());
    QVERIFY(shown());
}

void HelpWindowTest::cleanup()
{
    m_help.reset();
}

void HelpWindowTest::filterKeepsMatchingRows_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("needle");
    QTest::newRow("lower case") << "paste"
                                << "paste";
    QTest::newRow("upper case") << "PASTE"
                                << "paste";
    QTest::newRow("expression") << "past[e]"
                                << "paste";
}

void HelpWindowTest::filterKeepsMatchingRows()
{
    QFETCH(QString, typed);
    QFETCH(QString, needle);
    filter()->setFocus();
    QTest::keyClicks(filter(), typed);
    QCOMPARE(filter()->toPlainText(), typed);

    const int expected = registryRowsWhere(
        [&](const QString& text) { return text.contains(needle, Qt::CaseInsensitive); });
    QVERIFY(expected > 0);
    QAbstractItemModel* model = shown();
    QCOMPARE(model->rowCount(), expected);
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString name = model->index(row, ShortcutModel::Name).data().toString();
        const QString details = model->index(row, ShortcutModel::Details).data().toString();
        QVERIFY2(name.contains(needle, Qt::CaseInsensitive)
                || details.contains(needle, Qt::CaseInsensitive),
            qPrintable(name));
    }
    QVERIFY(!m_help->filterIsLiteral());
}

void HelpWindowTest::clearingTheFilterShowsEveryRow()
{
    const ShortcutRegistry& registry = ShortcutRegistry::instance();
    const int all = int(registry.entries().size() + registry.holdEntries().size());
    QCOMPARE(shown()->rowCount(), all);
    QTest::keyClicks(filter(), QStringLiteral("paste"));
    QVERIFY(shown()->rowCount() < all);
    filter()->selectAll();
    QTest::keyClick(filter(), Qt::Key_Backspace);
    QVERIFY(filter()->toPlainText().isEmpty());
    QCOMPARE(shown()->rowCount(), all);
}

void HelpWindowTest::invalidExpressionMatchesLiterally_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("literal");
    QTest::newRow("unclosed group") << "(Numpad" << true;
    QTest::newRow("unclosed group, other text") << "(z-m" << true;
    QTest::newRow("dangling quantifier") << "*)" << true;
    QTest::newRow("closed again") << "(numpad)" << false;
}

// An invalid expression is matched as the plain text typed; a valid one as an expression.
void HelpWindowTest::invalidExpressionMatchesLiterally()
{
    QFETCH(QString, typed);
    QFETCH(bool, literal);
    QTest::keyClicks(filter(), typed);
    const QRegularExpression expression(typed, QRegularExpression::CaseInsensitiveOption);
    QCOMPARE(m_help->filterIsLiteral(), !expression.isValid());
    QCOMPARE(m_help->filterIsLiteral(), literal);
    const int expected = registryRowsWhere([&](const QString& text) {
        return literal ? text.contains(typed, Qt::CaseInsensitive)
                       : expression.match(text).hasMatch();
    });
    QVERIFY(expected > 0 || !literal);
    QCOMPARE(shown()->rowCount(), expected);
}

void HelpWindowTest::filterStaysOneLine()
{
    QPlainTextEdit* edit = filter();
    QTest::keyClicks(edit, QStringLiteral("cut"));
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter);
    QTest::keyClicks(edit, QStringLiteral("copy"));
    QCOMPARE(edit->toPlainText(), QStringLiteral("cutcopy"));
    const int line = edit->fontMetrics().lineSpacing();
    QVERIFY(edit->height() >= line);
    QVERIFY(edit->height() < 2 * line);
}

void HelpWindowTest::contextHighlightReachesTheView_data()
{
    QTest::addColumn<QString>("context");
    QTest::newRow("pattern editor") << "pattern_editor";
    QTest::newRow("sequence editor") << "sequence_editor";
    QTest::newRow("node graph") << "node_graph";
}

void HelpWindowTest::contextHighlightReachesTheView()
{
    QFETCH(QString, context);
    m_help->setContext(context);
    QAbstractItemModel* model = shown();
    QSet<QString> activeSeen;
    bool inactiveSeen = false;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QString rowContext = model->index(row, ShortcutModel::Context).data().toString();
        const QModelIndex name = model->index(row, ShortcutModel::Name);
        const bool active = rowContext == QLatin1String("global") || rowContext == context;
        QCOMPARE(name.data(Qt::BackgroundRole).value<QBrush>().color(),
            active ? ShortcutModel::kActiveBackground : ShortcutModel::kInactiveBackground);
        if (active)
            activeSeen.insert(rowContext);
        else
            inactiveSeen = true;
    }
    QCOMPARE(activeSeen, (QSet<QString> { QStringLiteral("global"), context }));
    QVERIFY(inactiveSeen);
}

void HelpWindowTest::closeKeysClose_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Escape") << Qt::Key_Escape << Qt::KeyboardModifiers(Qt::NoModifier);
    QTest::newRow("Ctrl+W") << Qt::Key_W << Qt::KeyboardModifiers(Qt::ControlModifier);
}

// Sent to the filter, which has an event filter of its own.
void HelpWindowTest::closeKeysClose()
{
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QVERIFY(QTest::qWaitForWindowActive(m_help.get()));
    filter()->setFocus();
    QTest::keyClick(filter(), key, modifiers);
    QVERIFY(!m_help->isVisible());
}

QTEST_MAIN(HelpWindowTest)
#include "tst_help_window.moc"

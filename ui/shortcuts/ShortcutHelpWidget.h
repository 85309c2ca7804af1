#pragma once

#include <QPalette>
#include <QWidget>

#include <memory>

class ShortcutFilterProxyModel;
class ShortcutModel;

namespace Ui {
class ShortcutHelpWidget;
}

// The keyboard help window: the whole shortcut registry in a table, narrowed by a filter
// expression, with the entries of the active editor highlighted.
class ShortcutHelpWidget : public QWidget {
    Q_OBJECT

public:
    explicit ShortcutHelpWidget(QWidget* parent = nullptr);
    ~ShortcutHelpWidget() override;

    // The editor context whose entries show as active, beside the global ones.
    void setContext(const QString& context);

    // True while the filter text is not a valid expression and is matched literally.
    bool filterIsLiteral() const { return m_literal; }

public slots:
    void on_plainTextEditFilter_textChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitFilterToOneLine();

    std::unique_ptr<Ui::ShortcutHelpWidget> m_ui;
    ShortcutModel* m_model;
    ShortcutFilterProxyModel* m_proxy;
    QPalette m_filterPalette;
    bool m_literal = false;
};

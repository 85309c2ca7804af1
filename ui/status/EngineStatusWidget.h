#pragma once

#include "engine/EngineStatus.h"

#include <QColor>
#include <QWidget>

// A small round light for the engine: gray while stopped, green, amber or red by the
// output's underruns while running, with an "R" while rendering is suspended. Its tool tip
// carries the numbers of the last status.
class EngineStatusWidget : public QWidget {
    Q_OBJECT

public:
    static constexpr QColor kHealthy { 34, 204, 34 };
    static constexpr QColor kUnderrunning { 221, 170, 0 };
    static constexpr QColor kFailing { 221, 34, 34 };
    static constexpr quint64 kFailingUnderruns = 100;
    static constexpr int kSide = 20;
    static constexpr int kMinimumSide = 16;
    static constexpr int kInset = 3;

    explicit EngineStatusWidget(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Follows the transport's Live/Render toggle; the "R" and the tool tip show it at once.
    void setRenderMode(bool render);
    bool renderMode() const { return m_renderMode; }
    const EngineStatus& status() const { return m_status; }

public slots:
    void updateStatus(EngineStatus status);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The fill for a status: gray while stopped, otherwise by its underruns.
    static QColor colourFor(const EngineStatus& status);
    void updateToolTip();

    EngineStatus m_status;
    // Until the first status there are no numbers, and the tool tip stays empty.
    bool m_hasStatus = false;
    bool m_renderMode = false;
};

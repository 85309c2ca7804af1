#include "ui/pages/PatternPage.h"

PatternPage::PatternPage(QWidget* parent)
    : EditorPage(new PatternView, parent)
    , m_view(static_cast<PatternView*>(focusTarget()))
{
}

void PatternPage::setSong(const SongPointer& song)
{
    m_view->setSong(song);
    EditorPage::setSong(song);
}

void PatternPage::setXRayMode(bool on)
{
    EditorPage::setXRayMode(on);
    m_view->update();
}

void PatternPage::refresh()
{
    m_view->update();
}

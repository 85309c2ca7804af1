#include "ui/pages/NodePage.h"

NodePage::NodePage(QWidget* parent)
    : EditorPage(new NodeView, parent)
    , m_view(static_cast<NodeView*>(focusTarget()))
{
}

void NodePage::setSong(const SongPointer& song)
{
    m_view->setSong(song);
    EditorPage::setSong(song);
}

void NodePage::setXRayMode(bool on)
{
    EditorPage::setXRayMode(on);
    m_view->setXRay(on);
}

void NodePage::refresh()
{
    m_view->graphEdited();
}

void NodePage::autoArrange()
{
    m_view->autoArrange();
}

void NodePage::zoomToFit()
{
    m_view->zoomToFit();
}

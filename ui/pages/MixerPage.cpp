#include "ui/pages/MixerPage.h"

MixerPage::MixerPage(QWidget* parent)
    : EditorPage(new MixerView, parent)
    , m_view(static_cast<MixerView*>(focusTarget()))
{
}

void MixerPage::setSong(const SongPointer& song)
{
    m_view->setSong(song);
    EditorPage::setSong(song);
}

void MixerPage::refresh()
{
    m_view->refreshChannels();
}

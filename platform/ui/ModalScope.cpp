#include "platform/ui/ModalScope.h"

#include <QApplication>

namespace vidra::ui {

namespace {
int g_depth = 0;
} // namespace

ModalScope::ModalScope()
{
    ++g_depth;
}

ModalScope::~ModalScope()
{
    if (--g_depth == 0) emit ModalWatch::instance()->closed();
}

bool modalOpen()
{
    return g_depth > 0 || QApplication::activeModalWidget() || QApplication::activePopupWidget();
}

ModalWatch* ModalWatch::instance()
{
    static ModalWatch* watch = new ModalWatch; // lives as long as the process
    return watch;
}

} // namespace vidra::ui

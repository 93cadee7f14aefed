// The main window with its tree and details, and the About box.

#include "caboutdlg.h"
#include "cshotcontext.h"
#include "qtm.h"

BRAMIX_SCREENS(main)
{
    qtm window(nullptr, {});
    window.init();
    window.resize(858, 536);
    ctx.save(&window, QStringLiteral("main"));

    CAboutDlg about(nullptr);
    ctx.save(&about, QStringLiteral("about"));
}

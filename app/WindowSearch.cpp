#include "app/WindowSearch.h"

#include "app/TitleRendezvous.h"

#include <QGuiApplication>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <vector>

namespace {

// How deep below a top-level window a window manager may have put the client window.
constexpr int kMaxFrameDepth = 4;
// Longest title read from a window, in 32-bit units.
constexpr long kMaxTitleLength = 1024;

int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

// Windows may go away while they are looked at; their errors are not the searcher's.
class CXErrorGuard
{
public:
    explicit CXErrorGuard(Display* pDisplay)
        : m_pDisplay(pDisplay)
        , m_pPrevious(XSetErrorHandler(IgnoreXError))
    {}
    ~CXErrorGuard()
    {
        XSync(m_pDisplay, False);
        XSetErrorHandler(m_pPrevious);
    }
    CXErrorGuard(const CXErrorGuard&) = delete;
    CXErrorGuard& operator=(const CXErrorGuard&) = delete;

private:
    Display* m_pDisplay;
    XErrorHandler m_pPrevious;
};

struct DisplayCloser
{
    void operator()(Display* pDisplay) const { XCloseDisplay(pDisplay); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

class CX11Window : public CFoundWindow
{
public:
    CX11Window(DisplayPtr pDisplay, Window window)
        : m_pDisplay(std::move(pDisplay))
        , m_window(window)
    {}

    bool ShowNormal() override
    {
        Display* pDisplay = m_pDisplay.get();
        CXErrorGuard guard(pDisplay);
        XMapRaised(pDisplay, m_window);
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = m_window;
        event.xclient.message_type = XInternAtom(pDisplay, "_NET_ACTIVE_WINDOW", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = 1; // a request from an application
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(pDisplay, DefaultRootWindow(pDisplay), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XSync(pDisplay, False);
        return true;
    }

private:
    DisplayPtr m_pDisplay;
    Window m_window;
};

class CX11Search
{
public:
    CX11Search(Display* pDisplay, const std::string& title)
        : m_pDisplay(pDisplay)
        , m_title(title)
        , m_netWmName(XInternAtom(pDisplay, "_NET_WM_NAME", False))
        , m_utf8String(XInternAtom(pDisplay, "UTF8_STRING", False))
        , m_wmState(XInternAtom(pDisplay, "WM_STATE", False))
    {}

    // The first top-level window with the title, or None.
    Window Find()
    {
        for (Window child : Children(DefaultRootWindow(m_pDisplay))) {
            if (HasTitle(child))
                return child;
            const Window client = FindClient(child, kMaxFrameDepth);
            if (client != None)
                return client;
        }
        return None;
    }

private:
    std::vector<Window> Children(Window window) const
    {
        Window root = None;
        Window parent = None;
        Window* pChildren = nullptr;
        unsigned count = 0;
        std::vector<Window> children;
        if (XQueryTree(m_pDisplay, window, &root, &parent, &pChildren, &count) != 0 &&
            pChildren != nullptr)
            children.assign(pChildren, pChildren + count);
        if (pChildren != nullptr)
            XFree(pChildren);
        return children;
    }

    // A client window that a window manager put inside the frame window.
    Window FindClient(Window frame, int nDepth) const
    {
        if (nDepth == 0)
            return None;
        for (Window child : Children(frame)) {
            if (HasProperty(child, m_wmState))
                return HasTitle(child) ? child : None;
            const Window client = FindClient(child, nDepth - 1);
            if (client != None)
                return client;
        }
        return None;
    }

    bool HasProperty(Window window, Atom property) const
    {
        Atom type = None;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* pData = nullptr;
        const int status =
            XGetWindowProperty(m_pDisplay, window, property, 0, 0, False, AnyPropertyType, &type,
                               &format, &items, &after, &pData);
        if (pData != nullptr)
            XFree(pData);
        return status == Success && type != None;
    }

    bool HasTitle(Window window) const
    {
        Atom type = None;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* pData = nullptr;
        bool bMatch = false;
        if (XGetWindowProperty(m_pDisplay, window, m_netWmName, 0, kMaxTitleLength, False,
                               m_utf8String, &type, &format, &items, &after, &pData) == Success &&
            pData != nullptr && format == 8)
            bMatch = items == m_title.size() && std::memcmp(pData, m_title.data(), items) == 0;
        if (pData != nullptr)
            XFree(pData);
        if (bMatch)
            return true;
        XTextProperty name{};
        if (XGetWMName(m_pDisplay, window, &name) != 0 && name.value != nullptr) {
            bMatch = name.format == 8 && name.nitems == m_title.size() &&
                     std::memcmp(name.value, m_title.data(), name.nitems) == 0;
        }
        if (name.value != nullptr)
            XFree(name.value);
        return bMatch;
    }

    Display* m_pDisplay;
    const std::string& m_title;
    Atom m_netWmName;
    Atom m_utf8String;
    Atom m_wmState;
};

} // namespace

std::unique_ptr<CFoundWindow> FindX11Window(const char* displayName, const std::string& title)
{
    DisplayPtr pDisplay(XOpenDisplay(displayName));
    if (pDisplay == nullptr)
        return nullptr;
    Window found = None;
    {
        CXErrorGuard guard(pDisplay.get());
        found = CX11Search(pDisplay.get(), title).Find();
    }
    if (found == None)
        return nullptr;
    return std::make_unique<CX11Window>(std::move(pDisplay), found);
}

std::unique_ptr<CFoundWindow> FindTopLevelWindow(const std::string& title)
{
    if (QGuiApplication::platformName() == QStringLiteral("xcb"))
        return FindX11Window(nullptr, title);
    return FindRendezvousWindow(title);
}

std::optional<std::pair<int, int>> X11ScreenPosition(unsigned long window)
{
    auto* pX11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                    : nullptr;
    Display* pDisplay = pX11 != nullptr ? pX11->display() : nullptr;
    if (pDisplay == nullptr || window == 0)
        return std::nullopt;
    int x = 0;
    int y = 0;
    Window child = None;
    Bool bOk = False;
    {
        CXErrorGuard guard(pDisplay);
        bOk = XTranslateCoordinates(pDisplay, window, DefaultRootWindow(pDisplay), 0, 0, &x, &y,
                                    &child);
    }
    if (bOk == False)
        return std::nullopt;
    return std::pair(x, y);
}

void FlushX11Requests()
{
    auto* pX11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                    : nullptr;
    if (Display* pDisplay = pX11 != nullptr ? pX11->display() : nullptr)
        XSync(pDisplay, False);
}

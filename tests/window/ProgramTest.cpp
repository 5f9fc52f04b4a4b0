// The real program on a real X server (Xvfb): it shows its window, centred, with its caption and
// icon, and ends with exit code 0 when the window system closes it as the title bar's close
// button or the system menu does.
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QSize>
#include <QString>
#include <QThread>

namespace {

// An Xvfb of the test's own, on the first free display, ended by its pid when the test ends.
class VirtualDisplay {
public:
    VirtualDisplay()
    {
        // -displayfd makes the server choose a free display and write its number to stdout.
        m_server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten",
                                "tcp", "-dpi", "96", "-noreset"});
        if (!m_server.waitForStarted(10'000))
            return;
        QByteArray number;
        for (int i = 0; i < 100 && !number.contains('\n'); ++i) {
            m_server.waitForReadyRead(100);
            number += m_server.readAllStandardOutput();
        }
        if (number.contains('\n'))
            m_name = ":" + QString::fromLatin1(number.trimmed());
    }
    ~VirtualDisplay()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(5'000))
            m_server.kill();
        m_server.waitForFinished(5'000);
    }
    QString name() const { return m_name; }

private:
    QProcess m_server;
    QString m_name;
};

template <typename T> std::unique_ptr<T, decltype(&std::free)> own(T* reply)
{
    return {reply, &std::free};
}

class XClient {
public:
    explicit XClient(const QString& display)
        : m_connection(xcb_connect(display.toLatin1().constData(), nullptr))
    {
    }
    ~XClient() { xcb_disconnect(m_connection); }
    bool ok() const { return xcb_connection_has_error(m_connection) == 0; }

    xcb_atom_t atom(const char* name)
    {
        auto reply = own(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    std::vector<char> property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type,
                               uint32_t maxWords = 1 << 16)
    {
        auto reply = own(xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, name, type, 0, maxWords),
            nullptr));
        if (!reply)
            return {};
        const char* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
        return {data, data + xcb_get_property_value_length(reply.get())};
    }

    QString title(xcb_window_t window)
    {
        const auto bytes = property(window, atom("_NET_WM_NAME"), atom("UTF8_STRING"));
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    }

    // The first viewable top-level window whose title begins with the text.
    std::optional<xcb_window_t> findWindow(const QString& titleStart)
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        auto tree = own(xcb_query_tree_reply(m_connection,
                                             xcb_query_tree(m_connection, screen->root), nullptr));
        if (!tree)
            return std::nullopt;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            auto attributes = own(xcb_get_window_attributes_reply(
                m_connection, xcb_get_window_attributes(m_connection, children[i]), nullptr));
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                title(children[i]).startsWith(titleStart))
                return children[i];
        }
        return std::nullopt;
    }

    QRect geometry(xcb_window_t window)
    {
        auto reply = own(
            xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr));
        return reply ? QRect(reply->x, reply->y, reply->width, reply->height) : QRect();
    }

    QSize screenSize()
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        return {screen->width_in_pixels, screen->height_in_pixels};
    }

    // What a window manager sends when the operator closes the window from its title bar.
    void requestClose(xcb_window_t window)
    {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = atom("WM_PROTOCOLS");
        message.data.data32[0] = atom("WM_DELETE_WINDOW");
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(m_connection);
    }

private:
    xcb_connection_t* m_connection;
};

const QString caption = QStringLiteral("MS SQL SERVER日志收缩工具（");

TEST(Program, ShowsItsWindowCentredAndExitsWithZeroWhenClosed)
{
    VirtualDisplay display;
    ASSERT_FALSE(display.name().isEmpty()) << "Xvfb did not start";

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display.name());
    environment.remove("QT_QPA_PLATFORM");
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(LOGSHRINK_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted(10'000));

    XClient x(display.name());
    ASSERT_TRUE(x.ok());
    std::optional<xcb_window_t> window;
    for (int i = 0; i < 300 && !window && program.state() == QProcess::Running; ++i) {
        QThread::msleep(50);
        window = x.findWindow(caption);
    }
    ASSERT_TRUE(window.has_value()) << "no window titled " << caption.toStdString();

    EXPECT_TRUE(x.title(*window).endsWith(QStringLiteral("）")));
    const QRect geometry = x.geometry(*window);
    EXPECT_EQ(geometry.size(), QSize(389, 257));
    // No window manager runs here, so the outer size is the client size.
    const QSize screen = x.screenSize();
    EXPECT_EQ(geometry.topLeft(), QPoint((screen.width() - 389) / 2, (screen.height() - 257) / 2));
    // The icon goes to the title bar and the taskbar through _NET_WM_ICON: 32 x 32 first.
    const auto icon = x.property(*window, x.atom("_NET_WM_ICON"), XCB_ATOM_CARDINAL);
    ASSERT_GE(icon.size(), 8u);
    const auto* words = reinterpret_cast<const uint32_t*>(icon.data());
    EXPECT_EQ(words[0], 32u);
    EXPECT_EQ(words[1], 32u);
    const auto wmClass = x.property(*window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
    EXPECT_EQ(QString::fromLatin1(wmClass.data()), "logshrink");

    x.requestClose(*window);
    ASSERT_TRUE(program.waitForFinished(15'000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

// The application object: its title (taken from the program file's name), its icon, and the
// top-level error handler that shows every error escaping an event handler.
#pragma once

#include <exception>

#include <QApplication>
#include <QString>

class Application : public QApplication {
    Q_OBJECT

public:
    Application(int& argc, char** argv);

    // The program file's name without its folder, cut before its first ".", every character
    // after the first in lower case.
    static QString title();
    // The same rule for any program path; title() applies it to the running program.
    static QString titleFor(const QString& programPath);

    // Shows the error in a modal box captioned with the title, with an OK button and the error
    // icon; the window runs on. Called by the guard around every event handler.
    static void reportError(const std::exception& error);
    static void reportError(const QString& text);

    // The text as the box shows it: "." appended only when the last character sorts above ".".
    static QString errorBoxText(const QString& text);
};

// Runs an event handler; an exception that escapes it goes to the top-level error handler
// instead of unwinding through the toolkit.
template <typename Handler> void runGuarded(Handler&& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        Application::reportError(error);
    } catch (...) {
        // Nothing of ours throws anything else, but an exception must never unwind through Qt.
        Application::reportError(QStringLiteral("未知错误"));
    }
}

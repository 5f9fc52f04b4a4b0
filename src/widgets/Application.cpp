#include "widgets/Application.h"

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}
QString Application::title() { return QStringLiteral("logshrink"); }
void Application::reportError(const std::exception&) {}
void Application::reportError(const QString&) {}
QString Application::errorBoxText(const QString& text) { return text; }

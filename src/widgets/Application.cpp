#include "widgets/Application.h"

#include "widgets/MessageBox.h"

#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace {

// The window font is "宋体"; where that face is not installed (any Linux desktop) the nearest
// Simplified Chinese serif face takes its place, so that the texts keep their designed widths.
void substituteMissingFaces()
{
    const QString songTi = QStringLiteral("宋体");
    QFont::insertSubstitutions(songTi, {QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                                        QStringLiteral("AR PL UMing CN"),
                                        QStringLiteral("Noto Serif CJK SC")});
}

// The box belongs to the window the operator is looking at, so that it is modal over it.
QWidget* boxOwner()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowType() == Qt::Window)
            return widget;
    }
    return nullptr;
}

} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    substituteMissingFaces();
    // MAINICON is the program's own resource; a build without it simply shows no icon.
    const QIcon icon(QStringLiteral(":/MAINICON.png"));
    if (!icon.isNull())
        setWindowIcon(icon);
}

QString Application::titleFor(const QString& programPath)
{
    QString name = QFileInfo(programPath).fileName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString Application::title()
{
    if (!QCoreApplication::instance())
        return {};
    return titleFor(QCoreApplication::applicationFilePath());
}

QString Application::errorBoxText(const QString& text)
{
    // An empty text has no last character to sort, so it is shown as it is.
    if (!text.isEmpty() && text.back().unicode() > u'.')
        return text + u'.';
    return text;
}

void Application::reportError(const std::exception& error)
{
    reportError(QString::fromUtf8(error.what()));
}

void Application::reportError(const QString& text)
{
    const QPointer<QWidget> owner = boxOwner();
    QMessageBox box(QMessageBox::Critical, title(), errorBoxText(text), QMessageBox::Ok, owner);
    box.exec();
    handBackActivation(owner);
}

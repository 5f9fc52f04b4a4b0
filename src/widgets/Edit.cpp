#include "widgets/Edit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QProxyStyle>

namespace {

class PasswordCharacterStyle : public QProxyStyle {
public:
    explicit PasswordCharacterStyle(QChar character) : m_character(character) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return m_character.unicode();
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

private:
    QChar m_character;
};

// The character a keystroke types, as the key-press event reports it. Platforms leave the text
// of Ctrl+letter empty or fill it; either way it is the control character of that letter.
QChar typedCharacter(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const int key = event->key();
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier) && key >= Qt::Key_A &&
        key <= Qt::Key_Z)
        return QChar(char16_t(key - Qt::Key_A + 1));
    if (key == Qt::Key_Backspace)
        return QChar(char16_t(8));
    const QString text = event->text();
    if (text.size() == 1)
        return text.front();
    return {};
}

} // namespace

Edit::Edit(QWidget* parent) : QLineEdit(parent) {}

void Edit::setPasswordCharacter(const QString& character)
{
    m_passwordCharacter = character;
    if (character.isEmpty()) {
        setStyle(nullptr);
        return;
    }
    auto* style = new PasswordCharacterStyle(character.front());
    style->setParent(this);
    setStyle(style);
}

void Edit::keyPressEvent(QKeyEvent* event)
{
    const QChar typed = typedCharacter(event);
    if (typed.isNull()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    QChar key = typed;
    Q_EMIT keyPress(key);
    if (key.isNull()) {
        event->accept();
        return;
    }
    if (key == typed) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // A receiver that replaced the character: the field takes the new one as if it were typed.
    QKeyEvent replaced(event->type(), Qt::Key_unknown, Qt::NoModifier, QString(key));
    QLineEdit::keyPressEvent(&replaced);
    event->setAccepted(replaced.isAccepted());
}

void Edit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    switch (event->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::OtherFocusReason:
        selectAll();
        break;
    default:
        // A click puts the caret where it landed; coming back to an active window keeps the
        // selection the field had.
        break;
    }
}

#include "widgets/DropDownList.h"

#include <algorithm>

#include <QApplication>
#include <QFrame>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStylePainter>
#include <QStyledItemDelegate>

namespace {

bool isTypedText(const QKeyEvent* event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = event->text();
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
}

bool isEnter(const QKeyEvent* event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

bool togglesList(const QKeyEvent* event)
{
    return event->key() == Qt::Key_F4 ||
           ((event->modifiers() & Qt::AltModifier) &&
            (event->key() == Qt::Key_Down || event->key() == Qt::Key_Up));
}

// Rows of the open list: fixed height, text from the row's top-left corner plus two pixels, the
// selected row in the highlight colours.
class RowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {option.rect.width(), DropDownList::rowHeight};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& palette = option.palette;
        painter->save();
        painter->fillRect(option.rect, selected ? palette.highlight() : palette.base());
        painter->setPen(selected ? palette.color(QPalette::HighlightedText)
                                 : palette.color(QPalette::Text));
        painter->setFont(option.font);
        painter->drawText(option.rect.adjusted(2, 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
    }
};

} // namespace

// The open list. A popup of our own rather than the combo box's, so that the list opens also
// when it is empty and its height follows the row rule exactly.
class DropDownPopup : public QFrame {
public:
    explicit DropDownPopup(DropDownList* owner) : QFrame(owner, Qt::Popup), m_owner(owner)
    {
        setAttribute(Qt::WA_WindowPropagation);
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        // A press on the list's own face closes the list; it must not open it again at once.
        const QPoint onOwner = m_owner->mapFromGlobal(event->globalPosition().toPoint());
        if (m_owner->rect().contains(onOwner))
            setAttribute(Qt::WA_NoMouseReplay);
        QFrame::mousePressEvent(event);
    }

    void hideEvent(QHideEvent* event) override
    {
        QFrame::hideEvent(event);
        m_owner->update();
    }

private:
    DropDownList* m_owner;
};

DropDownList::DropDownList(QWidget* parent) : QComboBox(parent)
{
    m_elapsed.start();
    setEditable(false);
    setInsertPolicy(QComboBox::InsertAtBottom);
    setFocusPolicy(Qt::StrongFocus);

    m_popup = new DropDownPopup(this);
    m_view = new QListView(m_popup);
    m_view->setModel(model());
    m_view->setItemDelegate(new RowDelegate(m_view));
    m_view->setUniformItemSizes(true);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_view->setMouseTracking(true);
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);
    m_popup->setFocusProxy(m_view);

    // The closed list's own keyboard and wheel handling reports its choices here.
    connect(this, &QComboBox::activated, this, [this](int) { raiseChoice(); });
}

DropDownList::~DropDownList() = default;

QString DropDownList::text() const
{
    const int index = currentIndex();
    return index >= 0 ? itemText(index) : QString();
}

void DropDownList::clearItems()
{
    clear();
    m_searchText.clear();
}

void DropDownList::appendItems(const QStringList& items)
{
    // One insertion for the lot: a server's list of databases can run to tens of thousands.
    const int selected = currentIndex();
    addItems(items);
    if (currentIndex() != selected)
        setCurrentIndex(selected);
}

void DropDownList::appendItem(const QString& item)
{
    // The combo box would select the first item appended to an empty list; ours selects nothing
    // until a handler says so.
    const int selected = currentIndex();
    addItem(item);
    if (currentIndex() != selected)
        setCurrentIndex(selected);
}

int DropDownList::itemCount() const
{
    return count();
}

int DropDownList::selectedIndex() const
{
    return currentIndex();
}

void DropDownList::setSelectedIndex(int index)
{
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
    update();
}

void DropDownList::setOpensOnTyping(bool on)
{
    m_opensOnTyping = on;
}

bool DropDownList::opensOnTyping() const
{
    return m_opensOnTyping;
}

void DropDownList::setSearchClock(Clock clock)
{
    m_clock = std::move(clock);
}

bool DropDownList::isOpen() const
{
    return m_popup->isVisible();
}

qint64 DropDownList::now() const
{
    return m_clock ? m_clock() : m_elapsed.elapsed();
}

void DropDownList::showPopup()
{
    if (isOpen())
        return;
    Q_EMIT dropDown();
    // The receivers may have shown a box or closed the window meanwhile; the list opens with
    // whatever items it holds now, and only on a window that is still there.
    if (!isVisible() || isOpen())
        return;
    placePopup();
    m_popup->show();
    m_view->setFocus(Qt::PopupFocusReason);
    const QModelIndex current = model()->index(currentIndex(), modelColumn());
    if (current.isValid()) {
        m_view->setCurrentIndex(current);
        m_view->scrollTo(current, QAbstractItemView::PositionAtTop);
    } else {
        m_view->selectionModel()->clear();
        m_view->scrollToTop();
    }
    update();
}

void DropDownList::placePopup()
{
    const int rows = std::clamp(count(), 1, maxVisibleRows);
    const int frame = m_popup->frameWidth();
    const QSize size(width(), rows * rowHeight + 2 * frame);
    m_popup->setFont(font());
    m_popup->setPalette(palette());

    QPoint at = mapToGlobal(QPoint(0, height()));
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableVirtualGeometry();
        if (at.y() + size.height() > available.bottom() + 1)
            at.setY(mapToGlobal(QPoint(0, 0)).y() - size.height());
    }
    m_popup->setGeometry(QRect(at, size));
    m_view->setGeometry(m_popup->contentsRect());
}

void DropDownList::hidePopup()
{
    m_popup->hide();
    update();
}

void DropDownList::raiseChoice()
{
    update();
    Q_EMIT click();
    Q_EMIT change();
}

void DropDownList::choose(int index)
{
    hidePopup();
    // Picking the item that is already selected changes nothing, so it raises nothing.
    if (index < 0 || index >= count() || index == currentIndex())
        return;
    setCurrentIndex(index);
    raiseChoice();
}

void DropDownList::search(const QString& typed)
{
    const qint64 at = now();
    if (m_lastKeyAt < 0 || at - m_lastKeyAt >= searchPause)
        m_searchText.clear();
    m_lastKeyAt = at;
    m_searchText += typed;

    for (int index = 0; index < count(); ++index) {
        if (!itemText(index).startsWith(m_searchText, Qt::CaseInsensitive))
            continue;
        if (index == currentIndex())
            return;
        setCurrentIndex(index);
        if (isOpen())
            m_view->setCurrentIndex(model()->index(index, modelColumn()));
        raiseChoice();
        return;
    }
}

void DropDownList::keyPressEvent(QKeyEvent* event)
{
    if (isTypedText(event)) {
        if (m_opensOnTyping && !isOpen())
            showPopup();
        search(event->text());
        event->accept();
        return;
    }
    if (isEnter(event) || event->key() == Qt::Key_Escape) {
        // Enter and Escape on a closed list belong to the window.
        event->ignore();
        return;
    }
    if (togglesList(event)) {
        showPopup();
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void DropDownList::inputMethodEvent(QInputMethodEvent* event)
{
    if (!event->commitString().isEmpty())
        search(event->commitString());
    event->accept();
}

void DropDownList::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        if (isOpen())
            hidePopup();
        else
            showPopup();
        event->accept();
        return;
    }
    QComboBox::mousePressEvent(event);
}

void DropDownList::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}

void DropDownList::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);

    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    const QRect face(field.left(), field.top() + (field.height() - rowHeight) / 2, field.width(),
                     rowHeight);
    if (hasFocus() && !isOpen()) {
        painter.fillRect(face, palette().highlight());
        painter.setPen(palette().color(QPalette::HighlightedText));
    } else {
        painter.setPen(palette().color(QPalette::ButtonText));
    }
    painter.drawText(face.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     text());
}

bool DropDownList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isEnter(key)) {
            // Enter picks the highlighted row, or just closes a list without one; never a button.
            choose(m_view->currentIndex().isValid() ? m_view->currentIndex().row() : -1);
            return true;
        }
        if (key->key() == Qt::Key_Escape || togglesList(key)) {
            hidePopup();
            return true;
        }
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            hidePopup();
            QKeyEvent forwarded(key->type(), key->key(), key->modifiers(), key->text());
            QApplication::sendEvent(this, &forwarded);
            return true;
        }
        if (isTypedText(key)) {
            search(key->text());
            return true;
        }
        return false;
    }
    if (watched == m_view->viewport()) {
        if (event->type() == QEvent::MouseMove) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QModelIndex under = m_view->indexAt(mouse->position().toPoint());
            if (under.isValid() && under != m_view->currentIndex())
                m_view->setCurrentIndex(under);
            return false;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton)
                return false;
            const QModelIndex under = m_view->indexAt(mouse->position().toPoint());
            if (under.isValid())
                choose(under.row());
            return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

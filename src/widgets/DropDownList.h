// A drop-down list without an edit field, as the main window's three lists need it: items keep
// the order in which they were appended, rows and face are 14 pixels high, and the operator's
// actions raise events that changes made from code never raise.
#pragma once

#include <functional>

#include <QComboBox>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

class QListView;
class DropDownPopup;

class DropDownList : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(bool opensOnTyping READ opensOnTyping WRITE setOpensOnTyping)

public:
    explicit DropDownList(QWidget* parent = nullptr);
    ~DropDownList() override;

    // What the window's handlers use.
    QString text() const; // the selected item's text, or empty when nothing is selected
    void clearItems();    // every item goes, nothing selected; no event
    void appendItem(const QString& item);       // to the end; no event
    void appendItems(const QStringList& items); // the same for many, in their order
    int itemCount() const;
    int selectedIndex() const;        // from 0; -1 when nothing is selected
    void setSelectedIndex(int index); // an index outside the items selects nothing; no event

    // When set, the first character typed while the list has the focus opens it.
    void setOpensOnTyping(bool on);
    bool opensOnTyping() const;

    void showPopup() override;
    void hidePopup() override;

    // The open list: whether it is showing, and the view of its rows (for the window's tests).
    bool isOpen() const;
    QListView* listView() const { return m_view; }

    static constexpr int rowHeight = 14;
    static constexpr int maxVisibleRows = 8;
    // A pause of this many milliseconds or more before a keystroke starts a new search text.
    static constexpr qint64 searchPause = 500;

    // The monotonic milliseconds the search pause is measured with; tests put in their own.
    using Clock = std::function<qint64()>;
    void setSearchClock(Clock clock);

Q_SIGNALS:
    // Raised before the list opens; items appended by its receivers show in the same opening.
    void dropDown();
    // Raised, in this order, for every change of the selected item made by the operator
    // (mouse or keyboard in the open list, arrow keys on the closed list, typing), after the
    // new item is selected.
    void click();
    void change();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class DropDownPopup;

    void raiseChoice();
    void choose(int index);
    void search(const QString& typed);
    void placePopup();
    qint64 now() const;

    DropDownPopup* m_popup = nullptr;
    QListView* m_view = nullptr;
    bool m_opensOnTyping = false;
    QString m_searchText;
    qint64 m_lastKeyAt = -1;
    Clock m_clock;
    QElapsedTimer m_elapsed;
};

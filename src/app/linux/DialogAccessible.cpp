#include "app/linux/DialogAccessible.h"

#include "app/linux/DiagnosticDialog.h"
#include "platform/linux/qt/QtText.h"

#include <QAccessibleWidget>
#include <QLineEdit>
#include <QPointer>

#include <optional>

namespace ldt {

namespace {

// A one-line text read as a screen reader reads it, piece by piece by our
// own rule: the one Qt's text interfaces inherit may never return at the
// end of the text. No selection or cursor unless the subclass has them.
class TextPieces : public QAccessibleTextInterface {
public:
    QString text(int start, int end) const override { return Shown().mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(Shown().size()); }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return Piece(offset, type, TextSide::At, start, end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return Piece(offset, type, TextSide::Before, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return Piece(offset, type, TextSide::After, start, end);
    }
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

protected:
    virtual QString Shown() const = 0;

private:
    QString Piece(int offset, QAccessible::TextBoundaryType type, TextSide side, int* start, int* end) const {
        const QString shown = Shown();
        const TextUnit unit = type == QAccessible::CharBoundary       ? TextUnit::Char
                              : type == QAccessible::WordBoundary     ? TextUnit::Word
                              : type == QAccessible::SentenceBoundary ? TextUnit::Sentence
                                                                      : TextUnit::Whole;
        // -2 asks for the cursor's place.
        const TextSpan span = TextAround(FromQString(shown), offset == -2 ? cursorPosition() : offset, unit, side);
        *start = span.start;
        *end = span.end;
        return shown.mid(span.start, span.end - span.start);
    }
};

// One entry of the description, read afresh from the dialog's core at each
// query, so that a client always gets what the window shows now.
class ItemAccessible final : public QAccessibleInterface, public QAccessibleActionInterface, public TextPieces {
public:
    ItemAccessible(DiagnosticDialog* dialog, int index) : dialog_(dialog), index_(index) {}

    bool isValid() const override { return Item().has_value(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return dialog_ ? dialog_->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(dialog_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text kind) const override {
        const auto item = Item();
        if (!item) return {};
        if (kind == QAccessible::Name) return ToQString(item->name);
        if (kind == QAccessible::Value) return ToQString(item->value);
        if (kind == QAccessible::Description) return ToQString(item->description);
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        const auto item = Item();
        if (!item || !dialog_) return {};
        // Logical coordinates are the 96-DPI units; what lies outside the
        // client area is not seen.
        const Rect& r = item->rect;
        const QRect client = DiagnosticDialog::kClientArea;
        const QRect seen =
            QRect(r.left, r.top, r.right - r.left, r.bottom - r.top).translated(client.topLeft()).intersected(client);
        return QRect(dialog_->mapToGlobal(seen.topLeft()), seen.size());
    }

    QAccessible::Role role() const override { return IsButton() ? QAccessible::Button : QAccessible::StaticText; }

    QAccessible::State state() const override {
        QAccessible::State state;
        const auto item = Item();
        if (!item) {
            state.invalid = true;
        } else if (item->role == AccessibleRole::PushButton) {
            state.focusable = true;
            state.focused = dialog_->Core().Focused() == item->button;
        } else {
            state.readOnly = true;
        }
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface && IsButton()) return static_cast<QAccessibleActionInterface*>(this);
        if (type == QAccessible::TextInterface && !IsButton()) return static_cast<QAccessibleTextInterface*>(this);
        return nullptr;
    }

    // The press action: what a click on the button does, queued by the
    // dialog (DiagnosticDialog::Press).
    QStringList actionNames() const override { return {pressAction()}; }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
    void doAction(const QString& name) override {
        const auto item = Item();
        if (name == pressAction() && item && item->role == AccessibleRole::PushButton) dialog_->Press(item->button);
    }

private:
    std::optional<AccessibleItem> Item() const {
        if (!dialog_) return std::nullopt;
        const std::vector<AccessibleItem> items = dialog_->Core().Describe();
        if (index_ < 0 || index_ >= static_cast<int>(items.size())) return std::nullopt;
        return items[static_cast<size_t>(index_)];
    }
    bool IsButton() const {
        const auto item = Item();
        return item && item->role == AccessibleRole::PushButton;
    }
    QString Shown() const override { return text(QAccessible::Value); }

    QPointer<DiagnosticDialog> dialog_;
    int index_;
};

// The dialog: its children are the described items, made when first asked
// for and kept in Qt's accessibility cache until the dialog goes.
class DialogAccessible final : public QAccessibleWidget {
public:
    explicit DialogAccessible(DiagnosticDialog* dialog) : QAccessibleWidget(dialog, QAccessible::Dialog) {}
    ~DialogAccessible() override {
        for (QAccessible::Id id : children_)
            if (id) QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return static_cast<int>(Dialog()->Core().Describe().size()); }

    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) return nullptr;
        if (children_.size() <= static_cast<size_t>(index)) children_.resize(static_cast<size_t>(index) + 1);
        QAccessible::Id& id = children_[static_cast<size_t>(index)];
        if (!id) id = QAccessible::registerAccessibleInterface(new ItemAccessible(Dialog(), index));
        return QAccessible::accessibleInterface(id);
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        for (size_t i = 0; i < children_.size(); ++i)
            if (children_[i] && QAccessible::accessibleInterface(children_[i]) == child) return static_cast<int>(i);
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface* item = child(i); item->rect().contains(x, y)) return item;
        return nullptr;
    }

    QAccessibleInterface* focusChild() const override {
        const std::vector<AccessibleItem> items = Dialog()->Core().Describe();
        const size_t focused = IndexOfButton(items, Dialog()->Core().Focused());
        return focused < items.size() ? child(static_cast<int>(focused)) : nullptr;
    }

private:
    DiagnosticDialog* Dialog() const { return static_cast<DiagnosticDialog*>(widget()); }

    mutable std::vector<QAccessible::Id> children_;
};

// A line edit (the name field of Qt's own Save As dialog), whose text Qt's
// interface reads by the rule that may never return at the end: read it as
// the items are, the rest as Qt's widget interface does.
class LineEditAccessible final : public QAccessibleWidget,
                                 public TextPieces,
                                 public QAccessibleEditableTextInterface {
public:
    explicit LineEditAccessible(QLineEdit* edit) : QAccessibleWidget(edit, QAccessible::EditableText) {}

    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Value ? Shown() : QAccessibleWidget::text(kind);
    }
    void setText(QAccessible::Text kind, const QString& text) override {
        if (kind == QAccessible::Value && !Edit()->isReadOnly()) Edit()->setText(text);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = Edit()->isReadOnly();
        state.editable = !state.readOnly;
        state.focusable = true;
        state.passwordEdit = Edit()->echoMode() != QLineEdit::Normal;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        if (type == QAccessible::EditableTextInterface) return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    using TextPieces::text;
    int cursorPosition() const override { return Edit()->cursorPosition(); }
    void setCursorPosition(int at) override { Edit()->setCursorPosition(at); }
    int selectionCount() const override { return Edit()->hasSelectedText() ? 1 : 0; }
    void selection(int index, int* start, int* end) const override {
        const bool selected = index == 0 && Edit()->hasSelectedText();
        *start = selected ? Edit()->selectionStart() : 0;
        *end = selected ? Edit()->selectionEnd() : 0;
    }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { Edit()->deselect(); }
    void setSelection(int, int start, int end) override { Edit()->setSelection(start, end - start); }

    // Where a character shows on the screen (magnifiers follow the caret,
    // pointer review reads what is under the pointer), measured from the
    // cursor, whose place the line edit knows as it is scrolled.
    QRect characterRect(int offset) const override {
        const QString shown = Edit()->displayText();
        if (offset < 0 || offset >= shown.size()) return {};
        const QRect cursor = Edit()->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        const QFontMetrics metrics(Edit()->font());
        const int from = Edit()->cursorPosition();
        const int x = cursor.center().x() +
                      (offset >= from ? metrics.horizontalAdvance(shown.mid(from, offset - from))
                                      : -metrics.horizontalAdvance(shown.mid(offset, from - offset)));
        return {Edit()->mapToGlobal(QPoint(x, cursor.top())),
                QSize(metrics.horizontalAdvance(shown.mid(offset, 1)), cursor.height())};
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint at = Edit()->mapFromGlobal(point);
        return Edit()->rect().contains(at) ? Edit()->cursorPositionAt(at) : -1;
    }

    void deleteText(int start, int end) override { replaceText(start, end, QString()); }
    void insertText(int offset, const QString& text) override { replaceText(offset, offset, text); }
    void replaceText(int start, int end, const QString& text) override {
        if (Edit()->isReadOnly()) return;
        Edit()->setText(Edit()->text().replace(start, end - start, text));
    }

private:
    QLineEdit* Edit() const { return static_cast<QLineEdit*>(widget()); }
    // A hidden text (a password) is not read out.
    QString Shown() const override { return Edit()->echoMode() == QLineEdit::Normal ? Edit()->text() : QString(); }
};

QAccessibleInterface* MakeAccessible(const QString&, QObject* object) {
    if (auto* dialog = dynamic_cast<DiagnosticDialog*>(object)) return new DialogAccessible(dialog);
    if (auto* edit = qobject_cast<QLineEdit*>(object)) return new LineEditAccessible(edit);
    return nullptr;
}

}  // namespace

void InstallDialogAccessibility() {
    [[maybe_unused]] static const bool installed = (QAccessible::installFactory(MakeAccessible), true);
}

void Announce(const DiagnosticDialog& dialog, const std::vector<DiagnosticCore::Announcement>& news) {
    if (news.empty()) return;
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(const_cast<DiagnosticDialog*>(&dialog));
    for (const DiagnosticCore::Announcement& told : news) {
        QAccessibleInterface* item = window->child(static_cast<int>(told.item));
        if (told.kind == DiagnosticCore::Announcement::Focus) {
            QAccessibleEvent event(item, QAccessible::Focus);
            QAccessible::updateAccessibility(&event);
            continue;
        }
        // Both forms: a value change for clients that read values, a text
        // update for those (the AT-SPI bridge) that read the text.
        QAccessibleValueChangeEvent value(item, ToQString(told.now));
        QAccessible::updateAccessibility(&value);
        QAccessibleTextUpdateEvent text(item, 0, ToQString(told.before), ToQString(told.now));
        QAccessible::updateAccessibility(&text);
    }
}

}  // namespace ldt

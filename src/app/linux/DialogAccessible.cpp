#include "app/linux/DialogAccessible.h"

#include "app/linux/DiagnosticDialog.h"
#include "platform/linux/qt/QtText.h"

#include <QAccessibleWidget>
#include <QPointer>

#include <optional>

namespace ldt {

namespace {

// One entry of the description, read afresh from the dialog's core at each
// query, so that a client always gets what the window shows now.
class ItemAccessible final : public QAccessibleInterface,
                             public QAccessibleActionInterface,
                             public QAccessibleTextInterface {
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
        const QRect box = QRect(client.topLeft() + QPoint(r.left, r.top), QSize(r.right - r.left, r.bottom - r.top));
        const QRect seen = box.intersected(client);
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
        if (name != pressAction() || !item || item->role != AccessibleRole::PushButton) return;
        dialog_->Press(item->button);
    }

    // The value as text, with no selection or cursor of its own, read
    // piece by piece by our own rule (the one inherited from Qt may never
    // return at the end of the text).
    QString text(int start, int end) const override { return Value().mid(start, end - start); }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return Piece(offset, type, TextSide::At, start, end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return Piece(offset, type, TextSide::Before, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const override {
        return Piece(offset, type, TextSide::After, start, end);
    }
    int characterCount() const override { return static_cast<int>(Value().size()); }
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
    QString Value() const { return text(QAccessible::Value); }
    QString Piece(int offset, QAccessible::TextBoundaryType type, TextSide side, int* start, int* end) const {
        const auto item = Item();
        const WString value = item ? item->value : WString();
        const TextUnit unit = type == QAccessible::CharBoundary       ? TextUnit::Char
                              : type == QAccessible::WordBoundary     ? TextUnit::Word
                              : type == QAccessible::SentenceBoundary ? TextUnit::Sentence
                                                                      : TextUnit::Whole;
        const TextSpan span = TextAround(value, offset, unit, side);
        *start = span.start;
        *end = span.end;
        return ToQString(value.substr(static_cast<size_t>(span.start), static_cast<size_t>(span.end - span.start)));
    }

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
        for (int i = 0; i < static_cast<int>(children_.size()); ++i)
            if (children_[static_cast<size_t>(i)] && QAccessible::accessibleInterface(children_[static_cast<size_t>(i)]) == child)
                return i;
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

QAccessibleInterface* MakeAccessible(const QString&, QObject* object) {
    if (auto* dialog = dynamic_cast<DiagnosticDialog*>(object)) return new DialogAccessible(dialog);
    return nullptr;
}

}  // namespace

void InstallDialogAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(MakeAccessible);
        return true;
    }();
    (void)installed;
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

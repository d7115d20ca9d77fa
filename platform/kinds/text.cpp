// Text fields (QLineEdit; "ctrlKind" = "string2" for the second style) and text boxes (QPlainTextEdit).
#include <QLineEdit>
#include <QPlainTextEdit>

#include "kinds.h"

namespace platform_detail {
namespace {

QLineEdit* Field(const Control& c) {
    return static_cast<QLineEdit*>(c.widget.data());
}

class TextFields : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (!qobject_cast<const QLineEdit*>(w)) return CTRL_NONE;
        dataType = VAL_STRING;
        return w->property("ctrlKind").toString() == QLatin1String("string2") ? CTRL_STRING_LS : CTRL_STRING;
    }
    QWidget* Make(CtrlStyle style, const QString&, QWidget* parent) const override {
        if (style != CTRL_STRING && style != CTRL_STRING_LS) return nullptr;
        auto* e = new QLineEdit(parent);
        if (style == CTRL_STRING_LS) e->setProperty("ctrlKind", "string2");
        e->adjustSize();
        return e;
    }
    bool HasReadOnlyMode() const override { return true; }
    bool StartsReadOnly(const Control& c) const override { return Field(c)->isReadOnly(); }
    void ApplyMode(Control& c) const override { Field(c)->setReadOnly(c.indicator); }

    int Read(const Control& c, Value& v) const override {
        v = Field(c)->text();
        return 0;
    }
    int Write(Control& c, const Value& v) const override {
        if (!IsTextValue(v)) return UIEWrongType;
        Field(c)->setText(v.toString());
        return 0;
    }

    int GetAttr(const Control& c, CtrlAttr attr, int& v) const override {
        const QLineEdit* e = Field(c);
        switch (attr) {
            case ATTR_MAX_ENTRY_LENGTH:
                v = e->maxLength() >= 32767 ? -1 : e->maxLength();
                return 0;
            case ATTR_TEXT_SELECTION_START:
                v = e->hasSelectedText() ? e->selectionStart() : e->cursorPosition();
                return 0;
            case ATTR_TEXT_SELECTION_LENGTH:
                v = static_cast<int>(e->selectedText().size());
                return 0;
            default:
                return kNotMine;
        }
    }
    int SetAttr(Control& c, CtrlAttr attr, int v) const override {
        QLineEdit* e = Field(c);
        switch (attr) {
            case ATTR_MAX_ENTRY_LENGTH:
                e->setMaxLength(v < 0 ? 32767 : v);
                return 0;
            case ATTR_TEXT_SELECTION_START: {
                const int length = static_cast<int>(e->selectedText().size());
                e->setSelection(v, length);
                if (length == 0) e->setCursorPosition(v);
                return 0;
            }
            case ATTR_TEXT_SELECTION_LENGTH: {
                const int start = e->hasSelectedText() ? e->selectionStart() : e->cursorPosition();
                e->setSelection(start, v);
                return 0;
            }
            default:
                return kNotMine;
        }
    }

    // Each edit changes the text; Enter commits, and so does leaving the field after an edit.
    void Hook(Control& c) const override {
        QLineEdit* e = Field(c);
        const int panel = c.panel, id = c.id;
        QObject::connect(e, &QLineEdit::textEdited, e, [panel, id] {
            MarkDirty(panel, id, true);
            Raise(panel, id, EVENT_VAL_CHANGED);
        });
        QObject::connect(e, &QLineEdit::returnPressed, e, [panel, id] {
            MarkDirty(panel, id, false);
            Raise(panel, id, EVENT_COMMIT);
        });
        QObject::connect(e, &QLineEdit::editingFinished, e, [panel, id] {
            const Control* field = GetControl(panel, id);
            if (!field || !field->dirty) return;
            MarkDirty(panel, id, false);
            Raise(panel, id, EVENT_COMMIT);
        });
    }

    // The whole text replaced as typed (VAL_CHANGED), then Enter.
    int PersonSets(Control& c, const Value& v) const override {
        if (!IsTextValue(v)) return UIEWrongType;
        QLineEdit* e = Field(c);
        if (e->isReadOnly()) return UIEInvalidControl;
        e->selectAll();
        e->insert(v.toString());
        emit e->returnPressed();
        return 0;
    }
    int PersonCommits(Control& c) const override {
        emit Field(c)->returnPressed();
        return 0;
    }
};

QPlainTextEdit* Box(const Control& c) {
    return static_cast<QPlainTextEdit*>(c.widget.data());
}

// A text box collects what the program puts into it: each value is appended.
class TextBoxes : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (!qobject_cast<const QPlainTextEdit*>(w)) return CTRL_NONE;
        dataType = VAL_STRING;
        return CTRL_TEXT_BOX;
    }
    QWidget* Make(CtrlStyle style, const QString&, QWidget* parent) const override {
        if (style != CTRL_TEXT_BOX) return nullptr;
        auto* t = new QPlainTextEdit(parent);
        t->adjustSize();
        return t;
    }
    bool HasReadOnlyMode() const override { return true; }
    bool StartsReadOnly(const Control& c) const override { return Box(c)->isReadOnly(); }
    void ApplyMode(Control& c) const override { Box(c)->setReadOnly(c.indicator); }

    int Read(const Control& c, Value& v) const override {
        v = Box(c)->toPlainText();
        return 0;
    }
    int Write(Control& c, const Value& v) const override {
        if (!IsTextValue(v)) return UIEWrongType;
        QPlainTextEdit* t = Box(c);
        t->moveCursor(QTextCursor::End);
        t->insertPlainText(v.toString());
        return 0;
    }

    // Each edit changes the text. (Program changes happen with signals blocked.)
    void Hook(Control& c) const override {
        QObject::connect(Box(c), &QPlainTextEdit::textChanged, c.widget,
                         [panel = c.panel, id = c.id] { Raise(panel, id, EVENT_VAL_CHANGED); });
    }

    int PersonSets(Control& c, const Value& v) const override {
        if (!IsTextValue(v)) return UIEWrongType;
        if (Box(c)->isReadOnly()) return UIEInvalidControl;
        Box(c)->setPlainText(v.toString());
        return 0;
    }
};

}  // namespace

const ControlKind& TextFieldKind() {
    static const TextFields kind;
    return kind;
}

const ControlKind& TextBoxKind() {
    static const TextBoxes kind;
    return kind;
}

}  // namespace platform_detail

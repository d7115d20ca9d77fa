// Command buttons (QPushButton) and toggle switches (QCheckBox).
#include <QCheckBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include "kinds.h"

namespace platform_detail {
namespace {

QAbstractButton* Button(const Control& c) {
    return static_cast<QAbstractButton*>(c.widget.data());
}

// A switch set by a person: a click toggles it (VAL_CHANGED, COMMIT); already in place, it only commits.
int PersonSwitches(Control& c, const Value& v) {
    if (IsTextValue(v)) return UIEWrongType;
    QAbstractButton* b = Button(c);
    if ((v.toDouble() != 0) != b->isChecked())
        b->click();
    else
        Raise(c.panel, c.id, EVENT_COMMIT);
    return 0;
}

// A command button raises COMMIT when pressed; its label is its text, its face takes the button colour.
class CommandButtons : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (!qobject_cast<const QPushButton*>(w)) return CTRL_NONE;
        dataType = VAL_INTEGER;
        return CTRL_COMMAND_BUTTON;
    }
    QWidget* Make(CtrlStyle style, const QString& label, QWidget* parent) const override {
        if (style != CTRL_COMMAND_BUTTON) return nullptr;
        auto* b = new QPushButton(label, parent);
        b->adjustSize();
        return b;
    }
    void Prepare(Control& c) const override {
        static_cast<QPushButton*>(c.widget.data())->setAutoDefault(false);  // Enter in a field must not click
        ShowColors(c);                                                      // the focus frame
    }

    int GetAttr(const Control& c, CtrlAttr attr, int& v) const override {
        if (attr != ATTR_CMD_BUTTON_COLOR) return kNotMine;
        v = c.buttonColor ? *c.buttonColor : FromQColor(c.widget->palette().color(QPalette::Button));
        return 0;
    }
    int SetAttr(Control& c, CtrlAttr attr, int v) const override {
        if (attr != ATTR_CMD_BUTTON_COLOR) return kNotMine;
        c.buttonColor = v;
        ShowColors(c);
        return 0;
    }
    QString Label(const Control& c) const override { return Button(c)->text(); }
    void ShowLabel(Control& c) const override { Button(c)->setText(c.label); }
    void ShowColors(Control& c) const override {
        ShowFaceStyle(c.widget, c.buttonColor, c.textColor, true);
        ShowPaletteColors(c.widget, std::nullopt, c.textBgColor, QPalette::Base);
    }

    void Hook(Control& c) const override {
        QObject::connect(Button(c), &QAbstractButton::clicked, c.widget,
                         [panel = c.panel, id = c.id] { Raise(panel, id, EVENT_COMMIT); });
    }

    int PersonSets(Control& c, const Value& v) const override {
        return Button(c)->isCheckable() ? PersonSwitches(c, v) : UIEWrongType;
    }
    int PersonCommits(Control& c) const override {
        Button(c)->click();
        return 0;
    }
};

// A toggle switch: 1 when on. A person's click raises VAL_CHANGED, then COMMIT.
class Toggles : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (!qobject_cast<const QCheckBox*>(w)) return CTRL_NONE;
        dataType = VAL_INTEGER;
        return CTRL_TOGGLE;
    }
    QWidget* Make(CtrlStyle style, const QString& label, QWidget* parent) const override {
        if (style != CTRL_TOGGLE) return nullptr;
        auto* b = new QCheckBox(label, parent);
        b->adjustSize();
        return b;
    }

    int Read(const Control& c, Value& v) const override {
        v = Button(c)->isChecked() ? 1 : 0;
        return 0;
    }
    int Write(Control& c, const Value& v) const override {
        if (!IsIntValue(v)) return UIEWrongType;
        Button(c)->setChecked(v.toInt() != 0);
        return 0;
    }
    QString Label(const Control& c) const override { return Button(c)->text(); }
    void ShowLabel(Control& c) const override { Button(c)->setText(c.label); }

    void Hook(Control& c) const override {
        QObject::connect(Button(c), &QAbstractButton::clicked, c.widget, [panel = c.panel, id = c.id] {
            Raise(panel, id, EVENT_VAL_CHANGED);
            Raise(panel, id, EVENT_COMMIT);
        });
    }

    // A person clicks the switch itself: a switch wider than its label takes no click in the empty part.
    QPoint ClickPoint(const Control& c) const override {
        QStyleOptionButton option;
        option.initFrom(c.widget);
        option.text = Button(c)->text();
        return c.widget->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, c.widget).center();
    }
    int PersonSets(Control& c, const Value& v) const override { return PersonSwitches(c, v); }
    int PersonCommits(Control& c) const override {
        Button(c)->click();
        return 0;
    }
};

}  // namespace

const ControlKind& CommandButtonKind() {
    static const CommandButtons kind;
    return kind;
}

const ControlKind& ToggleKind() {
    static const Toggles kind;
    return kind;
}

}  // namespace platform_detail

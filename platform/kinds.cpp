// The list of control kinds and what a kind does when its adapter says nothing else.
#include "kinds.h"

#include <QAbstractButton>
#include <iterator>

namespace platform_detail {
namespace {

// A widget class no kind takes (a program bound something unusual): no value, no attributes of its own; a
// button of that kind still commits when clicked.
class OtherKind : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget*, DataType& dataType) const override {
        dataType = VAL_INTEGER;
        return CTRL_NONE;
    }
    void Hook(Control& c) const override {
        auto* b = qobject_cast<QAbstractButton*>(c.widget);
        if (!b) return;
        QObject::connect(b, &QAbstractButton::clicked, b,
                         [panel = c.panel, id = c.id] { Raise(panel, id, EVENT_COMMIT); });
    }
};

// In the order a widget is offered to them: our own plot classes first, the decoration last, since
// most Qt classes are frames too.
const ControlKind* const* Kinds(std::size_t& count) {
    static const ControlKind* const kinds[] = {
        &StripChartKind(), &GraphKind(),       &NumericKind(), &RingKind(),          &TextFieldKind(),
        &PictureKind(),    &TextMessageKind(), &TextBoxKind(), &CommandButtonKind(), &ToggleKind(),
        &SliderKind(),     &NumericBarKind(),  &TableKind(),   &DecorationKind(),
    };
    count = std::size(kinds);
    return kinds;
}

}  // namespace

const ControlKind& KindOf(const QWidget* w, CtrlStyle& style, DataType& dataType) {
    std::size_t count = 0;
    const ControlKind* const* kinds = Kinds(count);
    for (std::size_t i = 0; i < count; ++i) {
        style = kinds[i]->Classify(w, dataType);
        if (style != CTRL_NONE) return *kinds[i];
    }
    static const OtherKind other;
    style = other.Classify(w, dataType);
    return other;
}

QWidget* MakeControlWidget(CtrlStyle style, const QString& label, QWidget* parent) {
    std::size_t count = 0;
    const ControlKind* const* kinds = Kinds(count);
    for (std::size_t i = 0; i < count; ++i)
        if (QWidget* w = kinds[i]->Make(style, label, parent)) return w;
    return nullptr;
}

QWidget* CreateFileWidget(const QString& className, QWidget* parent) {
    std::size_t count = 0;
    const ControlKind* const* kinds = Kinds(count);
    for (std::size_t i = 0; i < count; ++i)
        if (QWidget* w = kinds[i]->MakeForFile(className, parent)) return w;
    return nullptr;
}

// ---- values shown at the screen's pace --------------------------------------------------------------------

void ShowAtScreenPace(Control& c) {
    if (c.pacePending) return;
    c.pacePending = true;
    AtNextScreenFrame(c.widget, [panel = c.panel, id = c.id] {
        Control* shown = GetControl(panel, id);
        if (!shown || !shown->pacePending) return;
        shown->pacePending = false;
        shown->kind->ShowPaced(*shown);
    });
}

void ShowPacedValues() {
    ShowScreenFrameNow();
}

// ---- what every kind does unless its adapter says otherwise -------------------------------------------

QWidget* ControlKind::MakeForFile(const QString&, QWidget*) const {
    return nullptr;
}
QWidget* ControlKind::Make(CtrlStyle, const QString&, QWidget*) const {
    return nullptr;
}
void ControlKind::MadeAtRunTime(Control&) const {}
void ControlKind::Prepare(Control&) const {}
bool ControlKind::StartsReadOnly(const Control&) const {
    return false;
}
void ControlKind::ApplyMode(Control&) const {}

int ControlKind::Read(const Control&, Value&) const {
    return UIEWrongType;
}
int ControlKind::Write(Control&, const Value&) const {
    return UIEWrongType;
}
int ControlKind::ReadText(const Control& c, std::string& text) const {
    Value v;
    if (int err = Read(c, v)) return err;
    return ToText(v, text);
}

int ControlKind::GetAttr(const Control&, CtrlAttr, int&) const {
    return kNotMine;
}
int ControlKind::SetAttr(Control&, CtrlAttr, int) const {
    return kNotMine;
}
int ControlKind::GetLimit(const Control&, bool, double&) const {
    return UIEInvalidAttribute;
}
int ControlKind::SetLimit(Control&, bool, double) const {
    return UIEInvalidAttribute;
}
void ControlKind::ShowLabel(Control&) const {}

QPalette::ColorRole ControlKind::ColorRole(CtrlAttr attr) const {
    switch (attr) {
        case ATTR_TEXT_COLOR:
            return QPalette::WindowText;
        case ATTR_TEXT_BGCOLOR:
            return QPalette::Base;
        default:
            return QPalette::Button;  // frame and button face
    }
}

void ControlKind::ShowColors(Control& c) const {
    ShowPaletteColors(c.widget, c.textColor, c.textBgColor, QPalette::Base);
}

void ControlKind::Hook(Control&) const {}

QPoint ControlKind::ClickPoint(const Control& c) const {
    return c.widget->rect().center();
}
int ControlKind::PersonSets(Control&, const Value&) const {
    return UIEWrongType;
}
int ControlKind::PersonCommits(Control& c) const {
    CommitUserEdit(c.panel, c.id);
    return 0;
}
int ControlKind::PersonChoosesItem(Control&, int) const {
    return UIEWrongType;
}
int ControlKind::PersonEditsCell(Control&, Point, const QString&) const {
    return UIEWrongType;
}

}  // namespace platform_detail

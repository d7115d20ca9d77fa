// List controls (rings and pop-up rings): the kind's adapter and the operations on its items.
#include <QComboBox>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>

#include "kinds.h"

using namespace platform_detail;

namespace {

// A pop-up ring shows as a button with a drop-down arrow in its middle, whatever its size; a click or a
// space opens its list as any ring's.
class PopupRingButton : public QComboBox {
  public:
    using QComboBox::QComboBox;

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton button;
        button.initFrom(this);
        button.features = QStyleOptionButton::None;
        painter.drawControl(QStyle::CE_PushButtonBevel, button);
        QStyleOption arrow;
        arrow.initFrom(this);
        const int side = std::max(5, std::min(width(), height()) / 3);
        arrow.rect = QRect(0, 0, side, side);
        arrow.rect.moveCenter(rect().center());
        painter.drawPrimitive(QStyle::PE_IndicatorArrowDown, arrow);
    }
};

QComboBox* Ring(const Control& c) {
    return static_cast<QComboBox*>(c.widget.data());
}

// The item holding value v (an int or a text), -1 when none does.
int FindItem(const QComboBox* r, const Value& v) {
    for (int i = 0; i < r->count(); ++i) {
        const QVariant d = r->itemData(i);
        if (IsIntValue(v) && IsIntValue(d) && d.toInt() == v.toInt()) return i;
        if (IsTextValue(v) && IsTextValue(d) && TextBytes(d) == TextBytes(v)) return i;
    }
    return -1;
}

// Item values: the file's "itemValues" property ("9600;19200;..."), else the item index (integer rings) or
// the label (text rings).
void SetItemValues(QComboBox* r, DataType dataType) {
    QStringList values;
    const QVariant prop = r->property("itemValues");
    if (prop.typeId() == QMetaType::QStringList)
        values = prop.toStringList();
    else if (prop.isValid())
        values = prop.toString().split(';');
    for (int i = 0; i < r->count(); ++i) {
        const QString given = i < values.size() ? values[i].trimmed() : QString();
        if (dataType == VAL_STRING) {
            r->setItemData(i, given.isEmpty() && i >= values.size() ? r->itemText(i) : given);
        } else {
            bool ok = false;
            const int v = given.toInt(&ok);
            r->setItemData(i, ok ? v : i);
        }
    }
}

// Rings hold integer or text values; a pop-up ring is a ring shown as a drop-down button.
class Rings : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (!qobject_cast<const QComboBox*>(w)) return CTRL_NONE;
        dataType = w->property("dataType").toString() == QLatin1String("string") ? VAL_STRING : VAL_INTEGER;
        return w->property("ctrlKind").toString() == QLatin1String("popupRing") ? CTRL_POPUP_RING : CTRL_RING;
    }
    QWidget* Make(CtrlStyle style, const QString&, QWidget* parent) const override {
        if (style == CTRL_RING) {
            auto* r = new QComboBox(parent);
            r->adjustSize();
            return r;
        }
        if (style != CTRL_POPUP_RING) return nullptr;
        auto* r = new PopupRingButton(parent);
        r->setProperty("ctrlKind", "popupRing");
        r->setProperty("dataType", "string");
        r->resize(20, 20);  // a square drop-down button; the caller sizes it
        return r;
    }
    void Prepare(Control& c) const override { SetItemValues(Ring(c), c.dataType); }

    int Read(const Control& c, Value& v) const override {
        const QComboBox* r = Ring(c);
        if (r->currentIndex() < 0) return UIEIndexOutOfRange;
        v = r->currentData();
        return 0;
    }
    int Write(Control& c, const Value& v) const override {
        const int i = FindItem(Ring(c), v);
        if (i < 0) return UIEItemNotFound;
        Ring(c)->setCurrentIndex(i);
        return 0;
    }
    // An integer ring answers with the item's label.
    int ReadText(const Control& c, std::string& text) const override {
        Value v;
        if (int err = Read(c, v)) return err;
        if (IsTextValue(v)) return ToText(v, text);
        text = Ring(c)->currentText().toStdString();
        return 0;
    }

    void ShowColors(Control& c) const override {
        ShowFaceStyle(c.widget, c.frameColor, c.textColor, false);
        ShowPaletteColors(c.widget, std::nullopt, c.textBgColor, QPalette::Base);
    }

    void Hook(Control& c) const override {
        QObject::connect(Ring(c), &QComboBox::activated, c.widget, [panel = c.panel, id = c.id] {
            Raise(panel, id, EVENT_VAL_CHANGED);
            Raise(panel, id, EVENT_COMMIT);
        });
    }

    int PersonSets(Control& c, const Value& v) const override {
        const QComboBox* r = Ring(c);
        for (int i = 0; i < r->count(); ++i) {
            const QVariant d = r->itemData(i);
            const bool match = IsTextValue(v) ? TextBytes(d) == TextBytes(v) || r->itemText(i) == ShownText(v)
                                              : IsIntValue(d) && d.toInt() == v.toDouble();
            if (match) return PersonChoosesItem(c, i);
        }
        return UIEItemNotFound;
    }
    int PersonChoosesItem(Control& c, int index) const override {
        QComboBox* r = Ring(c);
        if (index < 0 || index >= r->count()) return UIEIndexOutOfRange;
        if (IsIndicator(c)) return UIEInvalidControl;
        r->hidePopup();
        r->setCurrentIndex(index);
        emit r->activated(index);  // as the opened list reports a choice
        return 0;
    }
};

int RingOf(int panel, int control, QComboBox*& r) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    if (c->kind != &RingKind()) return UIEWrongType;
    r = Ring(*c);
    return 0;
}

int InsertItem(int panel, int control, int index, std::string_view label, const QVariant& value) {
    QComboBox* r = nullptr;
    if (int err = RingOf(panel, control, r)) return err;
    if (index < -1 || index > r->count()) return UIEIndexOutOfRange;
    const QSignalBlocker block(r);
    r->insertItem(index == -1 ? r->count() : index, ShownText(TextValue(label)), value);
    return 0;
}

int CheckIndex(const QComboBox* r, int index) {
    return index >= 0 && index < r->count() ? 0 : UIEIndexOutOfRange;
}

}  // namespace

const ControlKind& platform_detail::RingKind() {
    static const Rings kind;
    return kind;
}

int InsertListItem(int panel, int control, int index, std::string_view label, int value) {
    return Checked("InsertListItem",
                   [&]() -> int { return InsertItem(panel, control, index, label, value); });
}
int InsertListItem(int panel, int control, int index, std::string_view label, std::string_view value) {
    return Checked("InsertListItem",
                   [&]() -> int { return InsertItem(panel, control, index, label, TextValue(value)); });
}

int DeleteListItem(int panel, int control, int index, int count) {
    return Checked("DeleteListItem", [&]() -> int {
        QComboBox* r = nullptr;
        if (int err = RingOf(panel, control, r)) return err;
        if (int err = CheckIndex(r, index)) return err;
        const int end = count < 0 ? r->count() : std::min(r->count(), index + count);
        const QSignalBlocker block(r);
        for (int i = end - 1; i >= index; --i) r->removeItem(i);
        return 0;
    });
}

int ReplaceListItem(int panel, int control, int index, std::string_view label, std::string_view value) {
    return Checked("ReplaceListItem", [&]() -> int {
        QComboBox* r = nullptr;
        if (int err = RingOf(panel, control, r)) return err;
        if (int err = CheckIndex(r, index)) return err;
        const QSignalBlocker block(r);
        r->setItemText(index, ShownText(TextValue(label)));
        r->setItemData(index, TextValue(value));
        return 0;
    });
}

int ClearListCtrl(int panel, int control) {
    return Checked("ClearListCtrl", [&]() -> int {
        QComboBox* r = nullptr;
        if (int err = RingOf(panel, control, r)) return err;
        const QSignalBlocker block(r);
        r->clear();
        return 0;
    });
}

int GetNumListItems(int panel, int control, int& count) {
    return Checked("GetNumListItems", [&]() -> int {
        QComboBox* r = nullptr;
        if (int err = RingOf(panel, control, r)) return err;
        count = r->count();
        return 0;
    });
}

int GetIndexFromValue(int panel, int control, int& index, int value) {
    return Checked(
        "GetIndexFromValue",
        [&]() -> int {
            QComboBox* r = nullptr;
            if (int err = RingOf(panel, control, r)) return err;
            index = FindItem(r, value);
            return index < 0 ? UIEItemNotFound : 0;
        },
        UIEItemNotFound);  // a search: "not found" is its answer
}

int GetIndexFromValue(int panel, int control, int& index, std::string_view value) {
    return Checked(
        "GetIndexFromValue",
        [&]() -> int {
            QComboBox* r = nullptr;
            if (int err = RingOf(panel, control, r)) return err;
            index = FindItem(r, TextValue(value));
            return index < 0 ? UIEItemNotFound : 0;
        },
        UIEItemNotFound);  // a search: "not found" is its answer
}

int GetValueFromIndex(int panel, int control, int index, int& value) {
    return Checked("GetValueFromIndex", [&]() -> int {
        QComboBox* r = nullptr;
        if (int err = RingOf(panel, control, r)) return err;
        if (int err = CheckIndex(r, index)) return err;
        return ToInt(r->itemData(index), value);
    });
}

int GetValueFromIndex(int panel, int control, int index, std::string& value) {
    return Checked("GetValueFromIndex", [&]() -> int {
        QComboBox* r = nullptr;
        if (int err = RingOf(panel, control, r)) return err;
        if (int err = CheckIndex(r, index)) return err;
        return ToText(r->itemData(index), value);
    });
}

int GetValueLengthFromIndex(int panel, int control, int index, int& length) {
    return Checked("GetValueLengthFromIndex", [&]() -> int {
        std::string value;
        if (int err = GetValueFromIndex(panel, control, index, value)) return err;
        length = static_cast<int>(value.size());
        return 0;
    });
}

int GetCtrlIndex(int panel, int control, int& index) {
    return Checked("GetCtrlIndex", [&]() -> int {
        QComboBox* r = nullptr;
        if (int err = RingOf(panel, control, r)) return err;
        index = r->currentIndex();
        return index < 0 ? UIEIndexOutOfRange : 0;
    });
}

int SetCtrlIndex(int panel, int control, int index) {
    return Checked("SetCtrlIndex", [&]() -> int {
        QComboBox* r = nullptr;
        if (int err = RingOf(panel, control, r)) return err;
        if (int err = CheckIndex(r, index)) return err;
        const QSignalBlocker block(r);
        r->setCurrentIndex(index);
        return 0;
    });
}

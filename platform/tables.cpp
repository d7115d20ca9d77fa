// Tables: the kind's adapter, typed cell values addressed 1-based (column, row), row labels. The panel
// file's "dataType" ("uint16", "double", "string", else int) is the type of every cell.
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <algorithm>
#include <limits>
#include <memory>

#include "kinds.h"
#include "spinbox.h"

using namespace platform_detail;

namespace {

// The zero a cell of the table's type holds before anything is put into it.
QVariant TypedZero(DataType type) {
    if (type == VAL_STRING) return QString();
    if (type == VAL_DOUBLE) return 0.0;
    return 0;
}

// A cell never set: the zero of the table's type, numbers right-aligned as in every numeric field.
QTableWidgetItem* NewCell(DataType type) {
    auto* item = new QTableWidgetItem;
    item->setData(Qt::DisplayRole, TypedZero(type));
    if (type != VAL_STRING) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

// A value from the program as a cell of the table's type holds it: an unsigned 16-bit table takes integers
// 0..65535, an integer table integers, a double table numbers, a text table text. Nothing is rounded.
int CellValue(DataType type, const Value& v, QVariant& cell) {
    switch (type) {
        case VAL_STRING:
            if (!IsTextValue(v)) return UIEWrongType;
            cell = v;
            return 0;
        case VAL_DOUBLE:
            if (IsTextValue(v)) return UIEWrongType;
            cell = v.toDouble();
            return 0;
        case VAL_UNSIGNED_SHORT_INTEGER:
            if (!IsIntValue(v)) return UIEWrongType;
            if (v.toInt() < 0 || v.toInt() > 65535) return UIEInvalidValue;
            cell = v;
            return 0;
        default:
            if (!IsIntValue(v)) return UIEWrongType;
            cell = v;
            return 0;
    }
}

// The editor a person types a cell into takes what a cell of the table's type holds: a spin box limited
// to 0..65535 or to the integers, a spin box for doubles with room for their decimals, a line of text.
class CellDelegate : public QStyledItemDelegate {
  public:
    CellDelegate(DataType type, QObject* parent) : QStyledItemDelegate(parent), type_(type) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        // Number cells get editors that keep every digit typed and clamp to the cell's range on Enter.
        if (qobject_cast<QSpinBox*>(editor)) {
            delete editor;
            auto* s = new ClampingSpinBox<QSpinBox>(parent);
            if (type_ == VAL_UNSIGNED_SHORT_INTEGER)
                s->setRange(0, 65535);
            else
                s->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
            editor = s;
        } else if (qobject_cast<QDoubleSpinBox*>(editor)) {
            delete editor;
            auto* s = new ClampingSpinBox<QDoubleSpinBox>(parent);
            s->setDecimals(9);
            s->setRange(-std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
            editor = s;
        }
        if (auto* box = qobject_cast<QAbstractSpinBox*>(editor)) {
            // The cell's width for the number: arrow keys still step, and it stands where the cell shows it.
            box->setFrame(false);
            box->setButtonSymbols(QAbstractSpinBox::NoButtons);
            box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        return editor;
    }
    // An integer's editor is never narrower than the longest number it takes: over the next cell if need be.
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override {
        QStyledItemDelegate::updateEditorGeometry(editor, option, index);
        if (auto* s = qobject_cast<QSpinBox*>(editor); s && s->width() < s->minimumSizeHint().width())
            s->resize(s->minimumSizeHint().width(), s->height());
    }

  private:
    DataType type_;
};

// Types `text` into a cell editor over whatever it shows; false when the editor refuses it (its
// validator takes back what does not fit, or leaves a value it cannot accept).
bool TypeInto(QWidget* editor, const QString& text) {
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line) line = editor->findChild<QLineEdit*>();
    if (!line) return false;
    line->selectAll();
    line->insert(text);
    if (line->text() != text) return false;
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(editor)) {
        // Enter: a number outside the range is clamped to it; what cannot be made a number is refused.
        QString shown = text;
        int pos = 0;
        if (spin->validate(shown, pos) != QValidator::Acceptable) spin->fixup(shown);
        if (spin->validate(shown, pos) != QValidator::Acceptable) return false;
        spin->interpretText();
        return true;
    }
    return line->hasAcceptableInput();
}

QTableWidget* Table(const Control& c) {
    return static_cast<QTableWidget*>(c.widget.data());
}

bool InTable(const QTableWidget* t, Point cell) {
    return cell.x >= 1 && cell.x <= t->columnCount() && cell.y >= 1 && cell.y <= t->rowCount();
}

class Tables : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (!qobject_cast<const QTableWidget*>(w)) return CTRL_NONE;
        const QString type = w->property("dataType").toString();
        dataType = VAL_INTEGER;
        if (type == QLatin1String("uint16")) dataType = VAL_UNSIGNED_SHORT_INTEGER;
        if (type == QLatin1String("double")) dataType = VAL_DOUBLE;
        if (type == QLatin1String("string")) dataType = VAL_STRING;
        return CTRL_TABLE;
    }
    QWidget* Make(CtrlStyle style, const QString&, QWidget* parent) const override {
        if (style != CTRL_TABLE) return nullptr;
        auto* t = new QTableWidget(parent);
        t->adjustSize();
        return t;
    }
    // Cells never set hold the zero of the table's type.
    void Prepare(Control& c) const override {
        QTableWidget* t = Table(c);
        t->setItemDelegate(new CellDelegate(c.dataType, t));
        const QSignalBlocker block(t);
        for (int r = 0; r < t->rowCount(); ++r) {
            for (int col = 0; col < t->columnCount(); ++col) {
                if (!t->item(r, col)) t->setItem(r, col, NewCell(c.dataType));
            }
        }
    }
    void ApplyMode(Control& c) const override {
        Table(c)->setEditTriggers(c.indicator
                                      ? QAbstractItemView::NoEditTriggers
                                      : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                            QAbstractItemView::AnyKeyPressed);
    }

    void Hook(Control& c) const override {
        QObject::connect(Table(c), &QTableWidget::itemChanged, c.widget,
                         [panel = c.panel, id = c.id](QTableWidgetItem* item) {
                             const int row = item->row() + 1, column = item->column() + 1;
                             Raise(panel, id, EVENT_VAL_CHANGED, row, column);
                             Raise(panel, id, EVENT_COMMIT, row, column);
                         });
    }

    // The cell made current, its editor opened over it, the text typed in and Enter pressed: the editor
    // refuses what does not fit the cell, and what it takes reaches the cell as a person's edit does,
    // raising VAL_CHANGED and COMMIT for the cell when its value changed.
    int PersonEditsCell(Control& c, Point cell, const QString& text) const override {
        QTableWidget* t = Table(c);
        if (IsIndicator(c)) return UIEInvalidControl;
        if (!InTable(t, cell)) return UIEIndexOutOfRange;
        t->setCurrentCell(cell.y - 1, cell.x - 1);
        const QModelIndex index = t->model()->index(cell.y - 1, cell.x - 1);
        QAbstractItemDelegate* delegate = t->itemDelegateForIndex(index);
        QStyleOptionViewItem option;
        option.rect = t->visualRect(index);
        const std::unique_ptr<QWidget> editor(delegate->createEditor(t->viewport(), option, index));
        if (!editor) return UIEInvalidControl;
        delegate->setEditorData(editor.get(), index);
        if (!TypeInto(editor.get(), text)) return UIEInvalidValue;
        delegate->setModelData(editor.get(), t->model(), index);
        return 0;
    }
};

int TableOf(int panel, int control, Control*& c) {
    if (int err = Lookup(panel, control, c)) return err;
    return c->kind == &TableKind() ? 0 : UIEWrongType;
}

int CellOf(int panel, int control, Point cell, Control*& c, QTableWidgetItem*& item) {
    if (int err = TableOf(panel, control, c)) return err;
    QTableWidget* t = Table(*c);
    if (!InTable(t, cell)) return UIEIndexOutOfRange;
    item = t->item(cell.y - 1, cell.x - 1);
    if (!item) {
        item = NewCell(c->dataType);
        const QSignalBlocker block(t);
        t->setItem(cell.y - 1, cell.x - 1, item);
    }
    return 0;
}

template <class T, class Convert>
int GetCell(int panel, int control, Point cell, T& out, Convert convert) {
    Control* c = nullptr;
    QTableWidgetItem* item = nullptr;
    if (int err = CellOf(panel, control, cell, c, item)) return err;
    return convert(item->data(Qt::DisplayRole), out);
}

// A value that does not fit the table's type is refused and leaves the cell as it was.
int SetCell(int panel, int control, Point cell, const Value& v) {
    Control* c = nullptr;
    QTableWidgetItem* item = nullptr;
    if (int err = CellOf(panel, control, cell, c, item)) return err;
    QVariant typed;
    if (int err = CellValue(c->dataType, v, typed)) return err;
    const QSignalBlocker block(c->widget);  // program changes raise no events
    item->setData(Qt::DisplayRole, typed);
    return 0;
}

int HeaderItemOf(int panel, int control, int row, QTableWidgetItem*& item) {
    Control* c = nullptr;
    if (int err = TableOf(panel, control, c)) return err;
    QTableWidget* t = Table(*c);
    if (row < 1 || row > t->rowCount()) return UIEIndexOutOfRange;
    item = t->verticalHeaderItem(row - 1);
    if (!item) {
        item = new QTableWidgetItem(QString::number(row));
        t->setVerticalHeaderItem(row - 1, item);
    }
    return 0;
}

}  // namespace

const ControlKind& platform_detail::TableKind() {
    static const Tables kind;
    return kind;
}

int GetTableCellVal(int panel, int control, Point cell, unsigned short& value) {
    return Checked("GetTableCellVal",
                   [&]() -> int { return GetCell(panel, control, cell, value, ToUShort); });
}
int GetTableCellVal(int panel, int control, Point cell, int& value) {
    return Checked("GetTableCellVal", [&]() -> int { return GetCell(panel, control, cell, value, ToInt); });
}
int GetTableCellVal(int panel, int control, Point cell, double& value) {
    return Checked("GetTableCellVal",
                   [&]() -> int { return GetCell(panel, control, cell, value, ToDouble); });
}
int GetTableCellVal(int panel, int control, Point cell, std::string& value) {
    return Checked("GetTableCellVal", [&]() -> int { return GetCell(panel, control, cell, value, ToText); });
}
int SetTableCellVal(int panel, int control, Point cell, unsigned short value) {
    return Checked("SetTableCellVal", [&]() -> int { return SetCell(panel, control, cell, int(value)); });
}
int SetTableCellVal(int panel, int control, Point cell, int value) {
    return Checked("SetTableCellVal", [&]() -> int { return SetCell(panel, control, cell, value); });
}
int SetTableCellVal(int panel, int control, Point cell, double value) {
    return Checked("SetTableCellVal", [&]() -> int { return SetCell(panel, control, cell, value); });
}
int SetTableCellVal(int panel, int control, Point cell, std::string_view value) {
    return Checked("SetTableCellVal", [&]() -> int { return SetCell(panel, control, cell, QStr(value)); });
}

int GetActiveTableCell(int panel, int control, Point& cell) {
    return Checked("GetActiveTableCell", [&]() -> int {
        Control* c = nullptr;
        if (int err = TableOf(panel, control, c)) return err;
        const QTableWidget* t = Table(*c);
        cell = {std::max(t->currentColumn(), 0) + 1, std::max(t->currentRow(), 0) + 1};
        return 0;
    });
}

int SetTableRowAttribute(int panel, int control, int row, TableRowAttr attr, int value) {
    return Checked("SetTableRowAttribute", [&]() -> int {
        QTableWidgetItem* item = nullptr;
        if (int err = HeaderItemOf(panel, control, row, item)) return err;
        if (attr == ATTR_LABEL_COLOR)
            item->setForeground(ToQColor(value));
        else if (attr == ATTR_LABEL_BGCOLOR)
            item->setBackground(ToQColor(value));
        else
            return UIEInvalidAttribute;
        return 0;
    });
}

int GetTableRowAttribute(int panel, int control, int row, TableRowAttr attr, int& value) {
    return Checked("GetTableRowAttribute", [&]() -> int {
        QTableWidgetItem* item = nullptr;
        if (int err = HeaderItemOf(panel, control, row, item)) return err;
        const QWidget* t = FindCtrl(panel, control);
        if (attr == ATTR_LABEL_COLOR) {
            const QBrush b = item->foreground();
            value =
                FromQColor(b.style() != Qt::NoBrush ? b.color() : t->palette().color(QPalette::ButtonText));
        } else if (attr == ATTR_LABEL_BGCOLOR) {
            const QBrush b = item->background();
            value = FromQColor(b.style() != Qt::NoBrush ? b.color() : t->palette().color(QPalette::Button));
        } else {
            return UIEInvalidAttribute;
        }
        return 0;
    });
}

// Tables: the kind's adapter, cell values addressed 1-based (column, row), row labels.
#include <QHeaderView>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <algorithm>

#include "kinds.h"

using namespace platform_detail;

namespace {

// Cell editors of unsigned 16-bit tables take 0..65535 only.
class UShortCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* s = qobject_cast<QSpinBox*>(editor)) s->setRange(0, 65535);
        return editor;
    }
};

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
        if (c.dataType == VAL_UNSIGNED_SHORT_INTEGER) t->setItemDelegate(new UShortCellDelegate(t));
        for (int r = 0; r < t->rowCount(); ++r) {
            for (int col = 0; col < t->columnCount(); ++col) {
                if (t->item(r, col)) continue;
                auto* item = new QTableWidgetItem;
                if (c.dataType == VAL_STRING)
                    item->setData(Qt::DisplayRole, QString());
                else if (c.dataType == VAL_DOUBLE)
                    item->setData(Qt::DisplayRole, 0.0);
                else
                    item->setData(Qt::DisplayRole, 0);
                const QSignalBlocker block(t);
                t->setItem(r, col, item);
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

    int PersonEditsCell(Control& c, Point cell, const QString& text) const override {
        QTableWidget* t = Table(c);
        if (IsIndicator(c)) return UIEInvalidControl;
        if (!InTable(t, cell)) return UIEIndexOutOfRange;
        QTableWidgetItem* item = t->item(cell.y - 1, cell.x - 1);
        if (!item) {
            const QSignalBlocker block(t);
            t->setItem(cell.y - 1, cell.x - 1, item = new QTableWidgetItem);
        }
        // What the cell editor would store: a number for a numeric cell, refused when it is not one.
        const QVariant old = item->data(Qt::DisplayRole);
        QVariant value = text;
        bool ok = true;
        if (old.typeId() == QMetaType::Int || !old.isValid()) {
            const int i = text.trimmed().toInt(&ok);
            if (ok && c.dataType == VAL_UNSIGNED_SHORT_INTEGER && (i < 0 || i > 65535)) ok = false;
            value = i;
        } else if (old.typeId() == QMetaType::Double) {
            value = text.trimmed().toDouble(&ok);
        }
        if (!ok) return UIEInvalidValue;
        t->setCurrentCell(cell.y - 1, cell.x - 1);
        t->model()->setData(t->model()->index(cell.y - 1, cell.x - 1), value, Qt::EditRole);
        return 0;
    }
};

int TableOf(int panel, int control, Control*& c) {
    if (int err = Lookup(panel, control, c)) return err;
    return c->kind == &TableKind() ? 0 : UIEWrongType;
}

int CellOf(int panel, int control, Point cell, QTableWidget*& t, QTableWidgetItem*& item) {
    Control* c = nullptr;
    if (int err = TableOf(panel, control, c)) return err;
    t = Table(*c);
    if (!InTable(t, cell)) return UIEIndexOutOfRange;
    item = t->item(cell.y - 1, cell.x - 1);
    if (!item) {
        item = new QTableWidgetItem;
        item->setData(Qt::DisplayRole, 0);
        const QSignalBlocker block(t);
        t->setItem(cell.y - 1, cell.x - 1, item);
    }
    return 0;
}

template <class T, class Convert>
int GetCell(int panel, int control, Point cell, T& out, Convert convert) {
    QTableWidget* t = nullptr;
    QTableWidgetItem* item = nullptr;
    if (int err = CellOf(panel, control, cell, t, item)) return err;
    return convert(item->data(Qt::DisplayRole), out);
}

int SetCell(int panel, int control, Point cell, const QVariant& v) {
    QTableWidget* t = nullptr;
    QTableWidgetItem* item = nullptr;
    if (int err = CellOf(panel, control, cell, t, item)) return err;
    const QSignalBlocker block(t);  // program changes raise no events
    item->setData(Qt::DisplayRole, v);
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
    return GetCell(panel, control, cell, value, ToUShort);
}
int GetTableCellVal(int panel, int control, Point cell, int& value) {
    return GetCell(panel, control, cell, value, ToInt);
}
int GetTableCellVal(int panel, int control, Point cell, double& value) {
    return GetCell(panel, control, cell, value, ToDouble);
}
int GetTableCellVal(int panel, int control, Point cell, std::string& value) {
    return GetCell(panel, control, cell, value, ToText);
}
int SetTableCellVal(int panel, int control, Point cell, unsigned short value) {
    return SetCell(panel, control, cell, int(value));
}
int SetTableCellVal(int panel, int control, Point cell, int value) {
    return SetCell(panel, control, cell, value);
}
int SetTableCellVal(int panel, int control, Point cell, double value) {
    return SetCell(panel, control, cell, value);
}
int SetTableCellVal(int panel, int control, Point cell, std::string_view value) {
    return SetCell(panel, control, cell, QStr(value));
}

int GetActiveTableCell(int panel, int control, Point& cell) {
    Control* c = nullptr;
    if (int err = TableOf(panel, control, c)) return err;
    const QTableWidget* t = Table(*c);
    cell = {std::max(t->currentColumn(), 0) + 1, std::max(t->currentRow(), 0) + 1};
    return 0;
}

int SetTableRowAttribute(int panel, int control, int row, TableRowAttr attr, int value) {
    QTableWidgetItem* item = nullptr;
    if (int err = HeaderItemOf(panel, control, row, item)) return err;
    if (attr == ATTR_LABEL_COLOR)
        item->setForeground(ToQColor(value));
    else if (attr == ATTR_LABEL_BGCOLOR)
        item->setBackground(ToQColor(value));
    else
        return UIEInvalidAttribute;
    return 0;
}

int GetTableRowAttribute(int panel, int control, int row, TableRowAttr attr, int& value) {
    QTableWidgetItem* item = nullptr;
    if (int err = HeaderItemOf(panel, control, row, item)) return err;
    const QWidget* t = FindCtrl(panel, control);
    if (attr == ATTR_LABEL_COLOR) {
        const QBrush b = item->foreground();
        value = FromQColor(b.style() != Qt::NoBrush ? b.color() : t->palette().color(QPalette::ButtonText));
    } else if (attr == ATTR_LABEL_BGCOLOR) {
        const QBrush b = item->background();
        value = FromQColor(b.style() != Qt::NoBrush ? b.color() : t->palette().color(QPalette::Button));
    } else {
        return UIEInvalidAttribute;
    }
    return 0;
}

// The panel files as shipped, as the platform shows them: numbers fit their cells and editors, and a
// slider's scale stays true when a value beyond its range widens it.
#include <QApplication>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>

#include "ui_test.h"

namespace {

class ShippedPanel : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        SetPanelDirectory(SHIPPED_PANEL_DIR);
    }
    void TearDown() override {
        if (panel > 0) DiscardPanel(panel);
        UiTest::TearDown();
    }
    // Loads `file` with one control bound as id 1 and returns that control's widget.
    template <class W>
    W* Load(const char* file, const char* objectName) {
        const CtrlBinding binding[] = {{1, objectName}};
        panel = LoadPanel(0, PanelDef{file, nullptr, binding});
        if (panel <= 0) return nullptr;
        DisplayPanel(panel);
        for (QWidget* top : QApplication::topLevelWidgets())
            if (W* w = top->isVisible() ? top->findChild<W*>(objectName) : nullptr) return w;
        return nullptr;
    }

    int panel = 0;
};

TEST_F(ShippedPanel, TheTeachTableShowsTheLargestNumberWholeAndRightAlignedInEveryColumn) {
    auto* table = Load<QTableWidget>("orvane_teach_table.ui", "table");
    ASSERT_NE(table, nullptr);
    for (int r = 1; r <= table->rowCount(); ++r)
        for (int c = 1; c <= table->columnCount(); ++c)
            ASSERT_EQ(SetTableCellVal(panel, 1, {c, r}, static_cast<unsigned short>(65535)), 0);
    QAbstractItemView* view = table;  // the size hint is public there
    for (int c = 0; c < table->columnCount(); ++c) {
        EXPECT_GE(table->columnWidth(c), view->sizeHintForColumn(c)) << "column " << c << " cuts 65535 short";
        EXPECT_TRUE(table->item(0, c)->textAlignment() & Qt::AlignRight);
    }
    // The cell editor a person types into has room for the number and stands where the cell shows it.
    table->edit(table->model()->index(4, 5));
    auto* editor = table->viewport()->findChild<QSpinBox*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "65535");
    EXPECT_GE(editor->width(), editor->minimumSizeHint().width());
    EXPECT_TRUE(editor->alignment() & Qt::AlignRight);
}

TEST_F(ShippedPanel, ThePowerSliderScaleFollowsItsRangeWhenAValueWidensIt) {
    auto* slider = Load<QSlider>("orvane_parameters.ui", "power");
    ASSERT_NE(slider, nullptr);
    auto scale = [slider] {
        std::vector<std::string> texts;
        for (int i = 0; i < 3; ++i) {
            auto* label = slider->findChild<QLabel*>("powerScale" + QString::number(i));
            texts.push_back(label ? label->text().toStdString() : "(none)");
        }
        return texts;
    };
    using S = std::vector<std::string>;
    EXPECT_EQ(scale(), (S{"0", "500", "1000"}));
    EXPECT_EQ(slider->tickInterval(), 100);
    ASSERT_EQ(SetCtrlAttribute(panel, 1, ATTR_MAX_VALUE, 2500), 0);
    ASSERT_EQ(SetCtrlVal(panel, 1, 2500), 0);
    EXPECT_EQ(scale(), (S{"0", "1250", "2500"}));
    EXPECT_EQ(slider->tickInterval(), 250) << "as many ticks as before";
    ASSERT_EQ(SetCtrlAttribute(panel, 1, ATTR_MAX_VALUE, 1000), 0);
    EXPECT_EQ(scale(), (S{"0", "500", "1000"}));
    // The scale sits in its own strip below the groove, inside the slider.
    for (int i = 0; i < 3; ++i) {
        const QLabel* label = slider->findChild<QLabel*>("powerScale" + QString::number(i));
        EXPECT_EQ(label->geometry().bottom(), slider->height() - 1);
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
    }
}

}  // namespace

// The strip-chart and graph operations of the platform: find the control, check its kind, forward.
#include "plots.h"

#include "internal.h"

using platform_detail::Checked;
using platform_detail::Graph;
using platform_detail::StripChart;

namespace {

QWidget* FindControl(int panel, int control, int& error) {
    if (!platform_detail::FindPanel(panel)) {
        error = UIEInvalidPanel;
        return nullptr;
    }
    QWidget* w = platform_detail::FindCtrl(panel, control);
    error = w ? UIENoError : UIEInvalidControl;
    return w;
}

// The control as plot widget W, or the error why it is not one.
template <typename W>
W* Find(int panel, int control, int& error) {
    QWidget* w = FindControl(panel, control, error);
    if (!w) return nullptr;
    W* plot = qobject_cast<W*>(w);
    if (!plot) error = UIEWrongType;
    return plot;
}

}  // namespace

int PlotStripChart(int panel, int control, std::span<const double> data) {
    return Checked("PlotStripChart", [&]() -> int {
        int error;
        StripChart* chart = Find<StripChart>(panel, control, error);
        return chart ? chart->Append(data) : error;
    });
}

int PlotStripChart(int panel, int control, std::span<const unsigned short> data) {
    return Checked("PlotStripChart", [&]() -> int {
        int error;
        StripChart* chart = Find<StripChart>(panel, control, error);
        return chart ? chart->Append(data) : error;
    });
}

int ClearStripChart(int panel, int control) {
    return Checked("ClearStripChart", [&]() -> int {
        int error;
        StripChart* chart = Find<StripChart>(panel, control, error);
        if (!chart) return error;
        chart->Clear();
        return UIENoError;
    });
}

int SetTraceColor(int panel, int control, int trace, int color) {
    return Checked("SetTraceColor", [&]() -> int {
        int error;
        StripChart* chart = Find<StripChart>(panel, control, error);
        return chart ? chart->SetTraceColor(trace, color) : error;
    });
}

int SetAxisScalingMode(int panel, int control, Axis axis, AxisScaling mode, double min, double max) {
    return Checked("SetAxisScalingMode", [&]() -> int {
        int error;
        QWidget* w = FindControl(panel, control, error);
        if (!w) return error;
        if (auto* graph = qobject_cast<Graph*>(w)) return graph->SetScaling(axis, mode, min, max);
        if (auto* chart = qobject_cast<StripChart*>(w)) {
            // A strip chart's x axis is the scrolling window of points; only its y axis scales.
            if (axis != VAL_LEFT_YAXIS) return UIEInvalidValue;
            return chart->SetYScaling(mode, min, max);
        }
        return UIEWrongType;
    });
}

int GetAxisScalingMode(int panel, int control, Axis axis, AxisScaling& mode, double& min, double& max) {
    return Checked("GetAxisScalingMode", [&]() -> int {
        int error;
        QWidget* w = FindControl(panel, control, error);
        if (!w) return error;
        if (axis != VAL_BOTTOM_XAXIS && axis != VAL_LEFT_YAXIS) return UIEInvalidValue;
        platform_detail::AxisRange shown;
        if (auto* graph = qobject_cast<Graph*>(w)) {
            mode = graph->Scaling(axis).mode;
            shown = graph->Shown(axis);
        } else if (auto* chart = qobject_cast<StripChart*>(w)) {
            mode = axis == VAL_LEFT_YAXIS ? chart->YScaling().mode : VAL_MANUAL;
            shown = axis == VAL_LEFT_YAXIS ? chart->ShownY() : chart->ShownX();
        } else {
            return UIEWrongType;
        }
        min = shown.min;
        max = shown.max;
        return UIENoError;
    });
}

int PlotXY(int panel, int control, std::span<const double> x, std::span<const double> y, int color) {
    return Checked("PlotXY", [&]() -> int {
        int error;
        Graph* graph = Find<Graph>(panel, control, error);
        return graph ? graph->AddXY(x, y, color) : error;
    });
}

int PlotXY(int panel, int control, std::span<const unsigned short> x, std::span<const unsigned short> y,
           int color) {
    return Checked("PlotXY", [&]() -> int {
        int error;
        Graph* graph = Find<Graph>(panel, control, error);
        return graph ? graph->AddXY(x, y, color) : error;
    });
}

int PlotRectangle(int panel, int control, double x1, double y1, double x2, double y2, int color,
                  int fillColor) {
    return Checked("PlotRectangle", [&]() -> int {
        int error;
        Graph* graph = Find<Graph>(panel, control, error);
        return graph ? graph->AddRectangle(x1, y1, x2, y2, color, fillColor) : error;
    });
}

int DeleteGraphPlot(int panel, int control, int plotHandle) {
    return Checked("DeleteGraphPlot", [&]() -> int {
        int error;
        Graph* graph = Find<Graph>(panel, control, error);
        return graph ? graph->Delete(plotHandle) : error;
    });
}

int SetGraphCursor(int panel, int control, int cursor, double x, double y) {
    return Checked("SetGraphCursor", [&]() -> int {
        int error;
        Graph* graph = Find<Graph>(panel, control, error);
        return graph ? graph->SetCursor(cursor, x, y) : error;
    });
}

int GetGraphCursor(int panel, int control, int cursor, double& x, double& y) {
    return Checked("GetGraphCursor", [&]() -> int {
        int error;
        Graph* graph = Find<Graph>(panel, control, error);
        return graph ? graph->Cursor(cursor, x, y) : error;
    });
}

int GetStripChartTrace(int panel, int control, int trace, std::vector<double>& points, int count) {
    return Checked("GetStripChartTrace", [&]() -> int {
        int error;
        StripChart* chart = Find<StripChart>(panel, control, error);
        return chart ? chart->Trace(trace, count, points) : error;
    });
}

int GetGraphPlots(int panel, int control, std::vector<GraphPlotInfo>& plots, int last) {
    return Checked("GetGraphPlots", [&]() -> int {
        if (last < -1) return UIEInvalidValue;
        int error;
        Graph* graph = Find<Graph>(panel, control, error);
        if (!graph) return error;
        plots = graph->Plots(last);
        return UIENoError;
    });
}

int GetGraphPlotCount(int panel, int control, int& count) {
    return Checked("GetGraphPlotCount", [&]() -> int {
        int error;
        Graph* graph = Find<Graph>(panel, control, error);
        if (!graph) return error;
        count = static_cast<int>(graph->PlotCount());
        return UIENoError;
    });
}

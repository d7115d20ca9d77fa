#include "serial_devices_panel.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "com232.h"
#include "interface_panel.h"
#include "sensor_search.h"

int devicespanel = 0;

namespace {

int CBF_DeviceList(int, int, int event, void*, int, int);
int CBF_UseDevice(int, int, int event, void*, int, int);
int CBF_UsePath(int, int, int event, void*, int, int);
int CBF_Search(int, int, int event, void*, int, int);
int CBF_UseResult(int, int, int event, void*, int, int);
int CBF_CloseDevices(int, int, int event, void*, int, int);
int CBF_DEVICESP(int, int, int event, void*, int, int);

constexpr CtrlBinding kControls[] = {
    {DEVICESP_LIST, "deviceList", CBF_DeviceList},
    {DEVICESP_INFO, "deviceInfo"},
    {DEVICESP_USE_DEVICE, "useDevice", CBF_UseDevice},
    {DEVICESP_PATH, "devicePath", CBF_UsePath},
    {DEVICESP_USE_PATH, "usePath", CBF_UsePath},
    {DEVICESP_SEARCH, "search", CBF_Search},
    {DEVICESP_INCLUDE_FIXED, "includeFixed"},
    {DEVICESP_PROGRESS, "searchProgress"},
    {DEVICESP_RESULTS, "searchResults"},
    {DEVICESP_USE_RESULT, "useResult", CBF_UseResult},
    {DEVICESP_MESSAGE, "devicesMessage"},
    {DEVICESP_CLOSE, "closeDevices", CBF_CloseDevices},
};
constexpr PanelDef kPanel{"serial_devices.ui", CBF_DEVICESP, kControls};

// One line of the device list: a COM number and where it leads, or a device no COM number reaches yet.
struct Entry {
    int port = 0;        // 0: no COM number yet
    std::string device;  // what a new COM number's link names: the by-id name where there is one
    std::string label, info;
};
std::vector<Entry> entries;
std::vector<SearchResult> results;
SensorSearch* runningSearch = nullptr;

// The chosen item of a ring, -1 when it is empty.
int Chosen(int ctrl) {
    int count = 0, index = -1;
    GetNumListItems(devicespanel, ctrl, count);
    if (count == 0) return -1;
    GetCtrlIndex(devicespanel, ctrl, index);
    return index;
}

std::string ProgramDir() {
    std::string dir;
    if (GetProjectDir(dir) < 0) dir.clear();
    return dir;
}

std::string UsbId(const SerialDeviceInfo& d) {
    if (d.vendorId < 0 || d.productId < 0) return {};
    char text[24];
    std::snprintf(text, sizeof text, "%04x:%04x", unsigned(d.vendorId) & 0xFFFF,
                  unsigned(d.productId) & 0xFFFF);
    return text;
}

// What the system says of a device: "USB 0403:6001, FTDI, FT232R USB UART, serial number A10K1LQX".
std::string SystemSays(const SerialDeviceInfo& d) {
    std::string text;
    auto add = [&](const std::string& part) {
        if (!part.empty()) text += (text.empty() ? "" : ", ") + part;
    };
    if (!UsbId(d).empty()) add("USB " + UsbId(d));
    add(d.manufacturer);
    add(d.description);
    if (!d.serialNumber.empty()) add("serial number " + d.serialNumber);
    if (d.fixedPort) add("built-in port");
    return text;
}

std::string PermissionNote(const SerialDeviceInfo& d) {
    if (d.mayOpen) return {};
    return "this user may not open it: join the group dialout (sudo adduser $USER dialout), then log out "
           "and log in again";
}

bool Listed(const std::string& path, SerialDeviceInfo& found) {
    return FindSerialDevice(path, found);
}

void SetMessage(const std::string& text, bool error) {
    if (devicespanel <= 0) return;
    SetCtrlVal(devicespanel, DEVICESP_MESSAGE, std::string_view(text));
    SetCtrlAttribute(devicespanel, DEVICESP_MESSAGE, ATTR_TEXT_COLOR, error ? 0xA00000 : 0x006000);
}

void BuildEntries() {
    const std::string dir = ProgramDir();
    entries.clear();
    std::vector<std::string> reached;
    for (const ComLink& link : ListComLinks(dir)) {
        Entry e;
        e.port = link.port;
        e.info = DescribeComPort(dir, link.port);
        e.label = e.info;
        if (link.state == kComLinkPresent) reached.push_back(link.device);
        entries.push_back(std::move(e));
    }
    for (const SerialDeviceInfo& d : ListSerialDevices()) {
        std::error_code ec;
        const std::string canonical = std::filesystem::canonical(d.path, ec).string();
        if (std::find(reached.begin(), reached.end(), canonical) != reached.end()) continue;
        Entry e;
        e.device = d.byId.empty() ? d.path : d.byId;
        const std::string says = SystemSays(d);
        e.label = "no COM number yet: " + d.path + (says.empty() ? "" : " (" + says + ")");
        e.info =
            d.path + (d.byId.empty() ? "" : "\n" + d.byId) + (says.empty() ? "" : "\n" + says) +
            (d.mayOpen ? "\nUse this device gives it the lowest free COM number." : "\n" + PermissionNote(d));
        if (!d.mayOpen) e.label += " - no permission";
        entries.push_back(std::move(e));
    }
}

void ShowSelectedInfo() {
    const int index = Chosen(DEVICESP_LIST);
    const bool valid = index >= 0 && index < int(entries.size());
    SetCtrlVal(devicespanel, DEVICESP_INFO,
               std::string_view(valid ? entries[std::size_t(index)].info
                                      : std::string("No serial device is plugged in and this program has "
                                                    "no COM link: plug in the adapter.")));
    SetCtrlAttribute(devicespanel, DEVICESP_USE_DEVICE, ATTR_DIMMED, !valid);
}

void RefreshList() {
    if (devicespanel <= 0) return;
    const int selected = Chosen(DEVICESP_LIST);
    const std::string before =
        selected >= 0 && selected < int(entries.size()) ? entries[std::size_t(selected)].label : "";
    BuildEntries();
    ClearListCtrl(devicespanel, DEVICESP_LIST);
    int keep = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        InsertListItem(devicespanel, DEVICESP_LIST, -1, entries[i].label, int(i));
        if (entries[i].label == before) keep = int(i);
    }
    if (!entries.empty()) SetCtrlIndex(devicespanel, DEVICESP_LIST, keep);
    ShowSelectedInfo();
}

void DevicesChanged(void*) {
    ShowComPortDevice();
    RefreshList();
}

// The interface panel now names COM `port` (and the baud rate, when given): a changed setting, so Accept
// waits for the next successful Try.
void ChooseComPort(int port, int baudIndex = -1) {
    SetCtrlVal(interfacepanel, INTERFACEP_COMPORT, port);
    if (baudIndex >= 0) SetCtrlVal(interfacepanel, INTERFACEP_BAUDRATE, baudIndex);
    DimAcceptButtons(1);
    ShowComPortDevice();
    RefreshList();
}

// Gives `device` a COM number (its link in the program directory) and chooses it; false with the reason
// shown, nothing written.
bool ChooseDevice(const std::string& device, int baudIndex = -1) {
    int port = 0;
    std::string error;
    if (LinkComPort(ProgramDir(), device, port, error) != 0) {
        SetMessage(error, true);
        return false;
    }
    ChooseComPort(port, baudIndex);
    SetMessage("COM" + std::to_string(port) + " opens " + device + ": press Try on the interface panel.",
               false);
    return true;
}

int CBF_DeviceList(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT || event == EVENT_VAL_CHANGED) ShowSelectedInfo();
    return 0;
}

int CBF_UseDevice(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    const int index = Chosen(DEVICESP_LIST);
    if (index < 0 || index >= int(entries.size())) return 0;
    const Entry e = entries[std::size_t(index)];
    if (e.port > 0) {
        ChooseComPort(e.port);
        SetMessage("COM" + std::to_string(e.port) + " chosen: press Try on the interface panel.", false);
    } else {
        ChooseDevice(e.device);
    }
    return 0;
}

int CBF_UsePath(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    std::string path;
    GetCtrlVal(devicespanel, DEVICESP_PATH, path);
    ChooseDevice(path);
    return 0;
}

void ShowResults() {
    ClearListCtrl(devicespanel, DEVICESP_RESULTS);
    for (std::size_t i = 0; i < results.size(); ++i)
        InsertListItem(devicespanel, DEVICESP_RESULTS, -1, DescribeResult(results[i], InterfaceIsScope()),
                       int(i));
    SetCtrlAttribute(devicespanel, DEVICESP_USE_RESULT, ATTR_DIMMED, results.empty());
}

void RunSearch() {
    int includeFixed = 0;
    GetCtrlVal(devicespanel, DEVICESP_INCLUDE_FIXED, includeFixed);
    const std::vector<SearchTarget> targets = SearchTargets(ProgramDir(), includeFixed != 0);
    results.clear();
    ShowResults();
    if (targets.empty()) {
        SetCtrlVal(devicespanel, DEVICESP_PROGRESS,
                   std::string_view(includeFixed ? "No serial device to search: plug in the adapter."
                                                 : "No USB serial adapter to search: plug one in, or include "
                                                   "the fixed ports."));
        return;
    }
    CloseCom(comport);  // the search opens the devices itself
    HoldInterfaceForOperation(1);
    SensorSearch search(targets, comport, 0.12, &WindowLink().Log());
    search.idle = [] { ProcessSystemEvents(); };
    runningSearch = &search;
    SetCtrlAttribute(devicespanel, DEVICESP_SEARCH, ATTR_LABEL_TEXT, std::string_view("Cancel"));
    const std::string count = std::to_string(targets.size()) + (targets.size() == 1 ? " device" : " devices");
    while (!search.Done()) {
        SetCtrlVal(devicespanel, DEVICESP_PROGRESS,
                   std::string_view("Trying " + count + " at " + std::to_string(search.CurrentRate()) +
                                    " baud (" + std::to_string(search.RatesDone() + 1) + " of 5 rates)..."));
        ProcessSystemEvents();
        for (SearchResult& r : search.Step()) results.push_back(std::move(r));
        ShowResults();
    }
    runningSearch = nullptr;
    SetCtrlAttribute(devicespanel, DEVICESP_SEARCH, ATTR_LABEL_TEXT, std::string_view("Search"));
    HoldInterfaceForOperation(0);
    std::string summary = search.Cancelled() ? "Search cancelled: " : "Search done: ";
    summary += results.empty() ? "no sensor answered on " + count + "."
                               : std::to_string(results.size()) + " found on " + count +
                                     ". Choose one and press Use this result.";
    SetCtrlVal(devicespanel, DEVICESP_PROGRESS, std::string_view(summary));
}

int CBF_Search(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    if (runningSearch)
        runningSearch->Cancel();
    else
        RunSearch();
    return 0;
}

int CBF_UseResult(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    const int index = Chosen(DEVICESP_RESULTS);
    if (index < 0 || index >= int(results.size())) return 0;
    const SearchResult r = results[std::size_t(index)];
    if (r.target.comPort > 0) {
        ChooseComPort(r.target.comPort, r.baudIndex);
        SetMessage("COM" + std::to_string(r.target.comPort) + " at " +
                       std::to_string(BaudRateOf(r.baudIndex)) +
                       " baud chosen: press Try on the interface panel.",
                   false);
    } else {
        ChooseDevice(r.target.byId.empty() ? r.target.device : r.target.byId, r.baudIndex);
    }
    return 0;
}

int CBF_CloseDevices(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT && !runningSearch) HidePanel(devicespanel);
    return 0;
}

int CBF_DEVICESP(int, int, int event, void*, int, int) {
    if (event == EVENT_CLOSE && !runningSearch) HidePanel(devicespanel);
    return 0;
}

}  // namespace

std::string DescribeComPort(const std::string& programDir, int port) {
    const std::string com = "COM" + std::to_string(port);
    const ComLink link = ReadComLink(programDir, port);
    SerialDeviceInfo d;
    switch (link.state) {
        case kComLinkPresent: {
            // The device the link leads to, named once where the link names it itself.
            if (!Listed(link.device, d))
                return com + " opens " + link.target +
                       (link.target == link.device ? "" : " (" + link.device + ")");
            std::string text = com + " opens " + (d.byId.empty() ? d.path : d.byId);
            if (!d.byId.empty()) text += " (" + d.path + ")";
            if (const std::string says = SystemSays(d); !says.empty()) text += ", " + says;
            if (!d.mayOpen) text += "; " + PermissionNote(d);
            return text;
        }
        case kComLinkAbsent:
            return com + ": " + link.target + ", not plugged in";
        case kComLinkLoop:
            return com + ": its link leads in a loop (" + link.target + "); choose the device again";
        case kComLinkUnreadable:
            return com + ": its link in " + programDir + " cannot be read";
        case kComLinkNotALink:
        case kComLinkNone:
            break;
    }
    const std::string fixed = "/dev/ttyS" + std::to_string(port - 1);
    if (!Listed(fixed, d)) return com + " opens " + fixed + ", not present on this computer";
    return com + " opens " + fixed + ", built-in port" + (d.mayOpen ? "" : "; " + PermissionNote(d));
}

void CloseSerialDevicesPanel() {
    StopWatchingSerialDevices();
    if (devicespanel > 0) DiscardPanel(devicespanel);
    devicespanel = 0;
    entries.clear();
    results.clear();
}

void StartFollowingDevices() {
    WatchSerialDevices(ProgramDir(), DevicesChanged, nullptr);
}

void ShowComPortDevice() {
    if (interfacepanel <= 0) return;
    int port = 1;
    GetCtrlVal(interfacepanel, INTERFACEP_COMPORT, port);
    SetCtrlVal(interfacepanel, INTERFACEP_COM_DEVICE, std::string_view(DescribeComPort(ProgramDir(), port)));
}

int CBF_ButtonDevices(int, int, int event, void*, int, int) {
    if (event == EVENT_RIGHT_CLICK) {
        MessagePopup("INFO!", " Show the serial devices, give one a COM number, or search for the sensor.");
        return 0;
    }
    if (event != EVENT_COMMIT) return 0;
    if (devicespanel <= 0) devicespanel = LoadPanel(0, kPanel);
    if (devicespanel <= 0) {
        MessagePopup("Serial devices", "The panel serial_devices.ui cannot be loaded.");
        return 0;
    }
    SetMessage("", false);
    RefreshList();
    ShowResults();
    DisplayPanel(devicespanel);
    return 0;
}

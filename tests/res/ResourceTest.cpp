// Reads the resources compiled into Pellamy.exe through the platform's own loaders and
// compares every entry with the resource catalogue.
#include "res/resource.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

std::string Hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(value));
    return text;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    char buffer[512];
    const int written = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                            buffer, sizeof buffer, nullptr, nullptr);
    return std::string(buffer, written > 0 ? written : 0);
}

// A resource's compiled bytes, bounds-checked: reading past the end yields zeros and marks
// the reader as overrun.
class Bytes {
public:
    Bytes(const BYTE* data, DWORD size) : m_data(data), m_size(size) {}

    const BYTE* Data() const { return m_data; }
    DWORD Size() const { return m_size; }
    bool Overran() const { return m_overran; }
    DWORD Offset() const { return m_offset; }
    void AlignDword() { m_offset = (m_offset + 3) & ~3ul; }

    void Skip(DWORD count)
    {
        if (count > m_size - std::min(m_offset, m_size))
            m_overran = true;
        m_offset = m_overran ? m_size : m_offset + count;
    }
    BYTE Byte() { return static_cast<BYTE>(Read(1)); }
    WORD Word() { return static_cast<WORD>(Read(2)); }
    short Short() { return static_cast<short>(Read(2)); }
    DWORD Dword() { return Read(4); }

    std::string Text()
    {
        std::wstring wide;
        for (WORD c = Word(); c != 0 && !m_overran; c = Word())
            wide.push_back(static_cast<WCHAR>(c));
        return Narrow(wide);
    }

    // A name or an ordinal: "" for none, "#n" for ordinal n, else the text.
    std::string NameOrOrdinal()
    {
        const WORD first = Word();
        if (first == 0)
            return std::string();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        m_offset -= 2;
        return Text();
    }

private:
    DWORD Read(DWORD count)
    {
        DWORD value = 0;
        const DWORD start = m_offset;
        Skip(count);
        if (!m_overran)
            std::memcpy(&value, m_data + start, count);
        return value;
    }

    const BYTE* m_data;
    DWORD m_size;
    DWORD m_offset = 0;
    bool m_overran = false;
};

// --- Dialog templates, both forms ------------------------------------------------------

struct Control {
    int id;
    std::string className; // lower case; the predefined classes' ordinals by name
    std::string text;      // "#n" for a resource ordinal (the About box's icon)
    short x, y, cx, cy;
    DWORD style, exStyle;
    WORD extraBytes;
};

struct DialogTemplate {
    bool extended;
    DWORD style, exStyle, helpId;
    short x, y, cx, cy;
    std::string menu, className, caption;
    WORD pointSize, weight;
    BYTE italic, charset;
    std::string font;
    std::vector<Control> controls;
};

std::string Describe(const Control& c)
{
    return "id " + std::to_string(c.id) + " " + c.className + " \"" + c.text + "\" at " +
           std::to_string(c.x) + "," + std::to_string(c.y) + " size " + std::to_string(c.cx) +
           "x" + std::to_string(c.cy) + " style " + Hex(c.style) + " ex " + Hex(c.exStyle) +
           " extra " + std::to_string(c.extraBytes);
}

std::vector<std::string> Describe(const DialogTemplate& d)
{
    std::vector<std::string> lines = {
        std::string(d.extended ? "DIALOGEX" : "DIALOG") + " style " + Hex(d.style) + " ex " +
        Hex(d.exStyle) + " help " + Hex(d.helpId) + " at " + std::to_string(d.x) + "," +
        std::to_string(d.y) + " size " + std::to_string(d.cx) + "x" + std::to_string(d.cy),
        "menu \"" + d.menu + "\" class \"" + d.className + "\" caption \"" + d.caption + "\"",
        "font " + std::to_string(d.pointSize) + " \"" + d.font + "\" weight " +
        std::to_string(d.weight) + " italic " + std::to_string(d.italic) + " charset " +
        std::to_string(d.charset)};
    for (const Control& control : d.controls)
        lines.push_back(Describe(control));
    return lines;
}

std::string ClassName(const std::string& name)
{
    static const std::map<std::string, std::string> predefined = {
        {"#128", "button"}, {"#129", "edit"},      {"#130", "static"},
        {"#131", "listbox"}, {"#132", "scrollbar"}, {"#133", "combobox"}};
    const auto found = predefined.find(name);
    if (found != predefined.end())
        return found->second;
    std::string lower = name;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// Parses a DLGTEMPLATE or a DLGTEMPLATEEX with its items.
DialogTemplate ParseDialog(Bytes& in)
{
    DialogTemplate d = {};
    const WORD version = in.Word();
    const WORD signature = in.Word();
    d.extended = version == 1 && signature == 0xFFFF;
    if (d.extended) {
        d.helpId = in.Dword();
        d.exStyle = in.Dword();
        d.style = in.Dword();
    } else {
        d.style = MAKELONG(version, signature);
        d.exStyle = in.Dword();
    }
    const WORD count = in.Word();
    d.x = in.Short();
    d.y = in.Short();
    d.cx = in.Short();
    d.cy = in.Short();
    d.menu = in.NameOrOrdinal();
    d.className = in.NameOrOrdinal();
    d.caption = in.Text();
    if (d.style & (DS_SETFONT | DS_SHELLFONT)) {
        d.pointSize = in.Word();
        if (d.extended) {
            d.weight = in.Word();
            d.italic = in.Byte();
            d.charset = in.Byte();
        }
        d.font = in.Text();
    }
    for (WORD i = 0; i < count && !in.Overran(); ++i) {
        Control c = {};
        in.AlignDword();
        if (d.extended) {
            in.Dword(); // help id
            c.exStyle = in.Dword();
            c.style = in.Dword();
        } else {
            c.style = in.Dword();
            c.exStyle = in.Dword();
        }
        c.x = in.Short();
        c.y = in.Short();
        c.cx = in.Short();
        c.cy = in.Short();
        c.id = d.extended ? static_cast<int>(in.Dword()) : in.Short();
        c.className = ClassName(in.NameOrOrdinal());
        c.text = in.NameOrOrdinal();
        c.extraBytes = in.Word();
        in.Skip(c.extraBytes);
        d.controls.push_back(c);
    }
    return d;
}

// --- Menus -----------------------------------------------------------------------------

// One line per item; the items of a popup follow it, indented.
std::vector<std::string> DescribeMenu(HMENU menu, const std::string& indent = "")
{
    std::vector<std::string> lines;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[128] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        if (!GetMenuItemInfoA(menu, i, TRUE, &info)) {
            lines.push_back(indent + "unreadable");
            continue;
        }
        std::string line = indent;
        if (info.fType & MFT_SEPARATOR)
            line += "----";
        else if (info.hSubMenu)
            line += std::string("popup \"") + text + "\"";
        else
            line += std::string("\"") + text + "\" " + std::to_string(info.wID);
        if (info.fType & ~MFT_SEPARATOR)
            line += " type " + Hex(info.fType);
        // The menu loader itself greys separators; an item's state is what was compiled.
        if ((info.fState & MFS_GRAYED) && !(info.fType & MFT_SEPARATOR))
            line += " grayed";
        if (info.fState & ~MFS_GRAYED)
            line += " state " + Hex(info.fState);
        lines.push_back(line);
        if (info.hSubMenu) {
            const std::vector<std::string> items = DescribeMenu(info.hSubMenu, indent + "  ");
            lines.insert(lines.end(), items.begin(), items.end());
        }
    }
    return lines;
}

// --- The catalogue -----------------------------------------------------------------------

const char kNotice[] = "Copyright (C) 2026 Pellamy developers";

struct StringEntry {
    UINT id;
    const char* text;
};

const StringEntry kStrings[] = {
    {IDS_ABOUTBOX, "&About Pellamy..."},
    {ID_SEND_DIALOG, "Call pellamy"},
    {IDR_MAINFRAME, "ORVANTIS\n\n\n\n\nORVANTIS.Document\nSystem Document"},
    {AFX_IDS_APP_TITLE, "ORVANTIS"},
    {AFX_IDS_IDLEMESSAGE, "Ready"},
    {ID_FILE_NEW, "Start a new document\nNew"},
    {ID_FILE_OPEN, "Open a document that exists\nOpen"},
    {ID_FILE_CLOSE, "Close the document in use\nClose"},
    {ID_FILE_SAVE, "Save the document in use\nSave"},
    {ID_FILE_SAVE_AS, "Save the document in use under another name\nSave As"},
    {ID_EDIT_CLEAR, "Remove the selection\nErase"},
    {ID_EDIT_CLEAR_ALL, "Remove everything\nErase All"},
    {ID_EDIT_COPY, "Copy the selection to the Clipboard\nCopy"},
    {ID_EDIT_CUT, "Move the selection to the Clipboard\nCut"},
    {ID_EDIT_FIND, "Look for some text\nFind"},
    {ID_EDIT_PASTE, "Insert what the Clipboard holds\nPaste"},
    {ID_EDIT_REPEAT, "Do the last action again\nRepeat"},
    {ID_EDIT_REPLACE, "Replace some text with other text\nReplace"},
    {ID_EDIT_SELECT_ALL, "Select the whole document\nSelect All"},
    {ID_EDIT_UNDO, "Take back the last action\nUndo"},
    {ID_EDIT_REDO, "Do again the action last taken back\nRedo"},
    {ID_WINDOW_SPLIT, "Split the window into panes\nSplit"},
    {ID_APP_ABOUT, "Show the program's name, version and notice\nAbout"},
    {ID_APP_EXIT, "Quit the application; prompts to save documents\nExit"},
    {ID_NEXT_PANE, "Go to the next pane of the window\nNext Pane"},
    {ID_PREV_PANE, "Go back to the previous pane of the window\nPrevious Pane"},
    {ID_INDICATOR_EXT, "EXT"},
    {ID_INDICATOR_CAPS, "CAP"},
    {ID_INDICATOR_NUM, "NUM"},
    {ID_INDICATOR_SCRL, "SCRL"},
    {ID_INDICATOR_OVR, "OVR"},
    {ID_INDICATOR_REC, "REC"},
    {AFX_IDS_SCSIZE, "Change the window size"},
    {AFX_IDS_SCMOVE, "Change the window position"},
    {AFX_IDS_SCMINIMIZE, "Shrink the window to an icon"},
    {AFX_IDS_SCMAXIMIZE, "Enlarge the window to the full screen"},
    {AFX_IDS_SCNEXTWINDOW, "Switch to the next document window"},
    {AFX_IDS_SCPREVWINDOW, "Switch to the previous document window"},
    {AFX_IDS_SCCLOSE, "Close the window and offer to save the documents"},
    {AFX_IDS_SCRESTORE, "Bring the window back to its usual size"},
    {AFX_IDS_SCTASKLIST, "Show the task list"},
};

// Menu items as DescribeMenu writes them, one line each, nested items indented.
std::string Popup(const char* text) { return std::string("popup \"") + text + "\""; }
std::string Item(const char* text, UINT id, const char* state = "")
{
    return std::string("  \"") + text + "\" " + std::to_string(id) + state;
}
const std::string kSeparator = "  ----";

struct MenuEntry {
    UINT id;
    std::vector<std::string> items;
};

const MenuEntry kMenus[] = {
    {IDR_TRAYMENU,
     {Popup("POPUP"), Item("Pellamy Dialog", ID_SEND_DIALOG), kSeparator,
      Item("Exit", ID_APP_EXIT), kSeparator, Item("About ORVANTIS...", ID_APP_ABOUT)}},
    {IDR_MAINFRAME,
     {Popup("&File"), Item("&New\tCtrl+N", ID_FILE_NEW), Item("&Open...\tCtrl+O", ID_FILE_OPEN),
      Item("&Save\tCtrl+S", ID_FILE_SAVE), Item("Save &As...", ID_FILE_SAVE_AS), kSeparator,
      Item("Recent File", ID_FILE_MRU_FILE1, " grayed"), kSeparator,
      Item("E&xit", ID_APP_EXIT),
      Popup("&Edit"), Item("&Undo\tCtrl+Z", ID_EDIT_UNDO), kSeparator,
      Item("Cu&t\tCtrl+X", ID_EDIT_CUT), Item("&Copy\tCtrl+C", ID_EDIT_COPY),
      Item("&Paste\tCtrl+V", ID_EDIT_PASTE),
      Popup("&Help"), Item("&About ORVANTIS...", ID_APP_ABOUT)}},
};

const ACCEL kAccelerators[] = {
    {FVIRTKEY | FCONTROL, 'N', ID_FILE_NEW},    {FVIRTKEY | FCONTROL, 'O', ID_FILE_OPEN},
    {FVIRTKEY | FCONTROL, 'S', ID_FILE_SAVE},   {FVIRTKEY | FCONTROL, 'Z', ID_EDIT_UNDO},
    {FVIRTKEY | FCONTROL, 'X', ID_EDIT_CUT},    {FVIRTKEY | FCONTROL, 'C', ID_EDIT_COPY},
    {FVIRTKEY | FCONTROL, 'V', ID_EDIT_PASTE},  {FVIRTKEY | FALT, VK_BACK, ID_EDIT_UNDO},
    {FVIRTKEY | FSHIFT, VK_DELETE, ID_EDIT_CUT}, {FVIRTKEY | FCONTROL, VK_INSERT, ID_EDIT_COPY},
    {FVIRTKEY | FSHIFT, VK_INSERT, ID_EDIT_PASTE}, {FVIRTKEY, VK_F6, ID_NEXT_PANE},
    {FVIRTKEY | FSHIFT, VK_F6, ID_PREV_PANE},
};

const DialogTemplate kDialogs[] = {
    {true, 0x90CE0040, WS_EX_APPWINDOW, 0, 0, 0, 198, 185, "", "", "Pellamy", 8, 0, 0, 1,
     "Tahoma",
     {{IDC_DESTINATION, "edit", "", 10, 15, 95, 12, 0x50810088, 0, 0},
      {IDC_MESSAGE, "edit", "", 10, 45, 175, 130, 0x50811444, 0, 0},
      {IDC_SEND, "button", "&Send", 115, 10, 75, 20, 0x50018100, 0, 0},
      {IDC_STATIC, "button", "Destination", 5, 5, 105, 25, 0x50000007, 0, 0},
      {IDC_STATIC, "button", "Message", 5, 35, 185, 145, 0x50000007, 0, 0}}},
    {false, 0x80C800C0, 0, 0, 0, 0, 197, 55, "", "", "About PELLAMY", 8, 0, 0, 0,
     "MS Sans Serif",
     {{IDC_STATIC, "static", "PELLAMY Version 1.0", 40, 10, 98, 8, 0x50020080, 0, 0},
      {IDC_STATIC, "static", kNotice, 41, 35, 119, 8, 0x50020000, 0, 0},
      {IDOK, "button", "OK", 158, 7, 32, 14, 0x50030001, 0, 0},
      {IDC_STATIC, "static", "#" + std::to_string(IDR_MAINFRAME), 10, 15, 20, 20, 0x50000003,
       0, 0}}},
};
const UINT kDialogIds[] = {IDD_SEND_DIALOG, IDD_ABOUTBOX};

const std::pair<const char*, const char*> kVersionStrings[] = {
    {"CompanyName", ""},
    {"FileDescription", "ORVANTIS MFC Application"},
    {"FileVersion", "1, 0, 0, 1"},
    {"InternalName", "ORVANTIS"},
    {"LegalCopyright", kNotice},
    {"LegalTrademarks", ""},
    {"OriginalFilename", "ORVANTIS.EXE"},
    {"ProductName", "ORVANTIS Application"},
    {"ProductVersion", "1, 0, 0, 1"},
};

BOOL CALLBACK AddBlock(HMODULE, LPCSTR, LPSTR name, LONG_PTR blocks)
{
    reinterpret_cast<std::vector<UINT>*>(blocks)->push_back(
        static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)));
    return TRUE;
}

// --- The test ----------------------------------------------------------------------------

// Pellamy.exe mapped as a data file: its resources, none of its code.
class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_module = LoadLibraryExA(PELLAMY_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, m_module) << PELLAMY_EXE << " error " << GetLastError();
    }
    void TearDown() override
    {
        if (m_module)
            FreeLibrary(m_module);
    }

    Bytes Resource(LPCSTR type, UINT id) const
    {
        HRSRC found = FindResourceA(m_module, MAKEINTRESOURCEA(id), type);
        HGLOBAL loaded = found ? LoadResource(m_module, found) : nullptr;
        if (!loaded)
            return Bytes(nullptr, 0);
        return Bytes(static_cast<const BYTE*>(LockResource(loaded)),
                     SizeofResource(m_module, found));
    }

    HMODULE m_module = nullptr;
};

TEST_F(ResourceTest, StringTableHoldsTheCatalogueAndNothingElse)
{
    std::vector<UINT> expectedIds;
    for (const StringEntry& entry : kStrings) {
        char text[256] = {};
        const int length = LoadStringA(m_module, entry.id, text, sizeof text);
        EXPECT_EQ(entry.text, std::string(text, length > 0 ? length : 0)) << "string " << entry.id;
        expectedIds.push_back(entry.id);
    }

    // Every non-empty string of every block: a block n holds the strings 16 (n - 1) to
    // 16 (n - 1) + 15, each counted.
    std::vector<UINT> blocks;
    EnumResourceNamesA(m_module, RT_STRING, AddBlock, reinterpret_cast<LONG_PTR>(&blocks));
    std::vector<UINT> ids;
    for (UINT block : blocks) {
        Bytes in = Resource(RT_STRING, block);
        for (UINT i = 0; i < 16; ++i) {
            const WORD length = in.Word();
            in.Skip(2 * length);
            if (length > 0)
                ids.push_back((block - 1) * 16 + i);
        }
        EXPECT_FALSE(in.Overran()) << "string block " << block;
    }
    EXPECT_EQ(expectedIds, ids);
}

TEST_F(ResourceTest, MenusHoldTheirItemsInOrder)
{
    for (const MenuEntry& entry : kMenus) {
        HMENU menu = LoadMenuA(m_module, MAKEINTRESOURCEA(entry.id));
        ASSERT_NE(nullptr, menu) << "menu " << entry.id;
        EXPECT_EQ(entry.items, DescribeMenu(menu)) << "menu " << entry.id;
        DestroyMenu(menu);
    }
    // The double-click runs the tray menu's first item: it must open the send dialog.
    HMENU tray = LoadMenuA(m_module, MAKEINTRESOURCEA(IDR_TRAYMENU));
    EXPECT_EQ(UINT(ID_SEND_DIALOG), GetMenuItemID(GetSubMenu(tray, 0), 0));
    DestroyMenu(tray);
}

TEST_F(ResourceTest, AcceleratorsAreTheVirtualKeysListed)
{
    HACCEL table = LoadAcceleratorsA(m_module, MAKEINTRESOURCEA(IDR_MAINFRAME));
    ASSERT_NE(nullptr, table);
    std::vector<ACCEL> entries(CopyAcceleratorTableA(table, nullptr, 0));
    CopyAcceleratorTableA(table, entries.data(), static_cast<int>(entries.size()));
    DestroyAcceleratorTable(table);

    auto describe = [](const ACCEL& a) {
        return Hex(a.fVirt) + " key " + Hex(a.key) + " command " + std::to_string(a.cmd);
    };
    std::vector<std::string> expected, actual;
    for (const ACCEL& a : kAccelerators)
        expected.push_back(describe(a));
    for (const ACCEL& a : entries)
        actual.push_back(describe(a));
    EXPECT_EQ(expected, actual);
}

TEST_F(ResourceTest, DialogTemplatesCompileToTheListedBytes)
{
    for (size_t i = 0; i < sizeof kDialogIds / sizeof kDialogIds[0]; ++i) {
        Bytes in = Resource(RT_DIALOG, kDialogIds[i]);
        const DialogTemplate parsed = ParseDialog(in);
        EXPECT_FALSE(in.Overran()) << "dialog " << kDialogIds[i];
        EXPECT_EQ(Describe(kDialogs[i]), Describe(parsed)) << "dialog " << kDialogIds[i];
    }
}

// The pictures as drawn in res/Pellamy.ico.txt: size -> rows of 0xRRGGBB, -1 transparent.
std::map<int, std::vector<std::vector<long>>> ReadDrawing()
{
    std::map<int, std::vector<std::vector<long>>> images;
    std::map<char, long> palette;
    std::ifstream drawing(PELLAMY_ICON_DRAWING);
    std::vector<std::vector<long>>* image = nullptr;
    for (std::string line; std::getline(drawing, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line.compare(0, 7, "colour ") == 0) {
            palette[line[7]] = std::strtol(line.c_str() + 9, nullptr, 16);
        } else if (line.compare(0, 6, "image ") == 0) {
            image = &images[std::atoi(line.c_str() + 6)];
        } else if (image) {
            std::vector<long> row;
            for (char c : line)
                row.push_back(c == '.' ? -1 : palette.at(c));
            image->push_back(row);
        }
    }
    return images;
}

TEST_F(ResourceTest, IconGroupHoldsThe16ColourPicturesAsDrawn)
{
    const std::map<int, std::vector<std::vector<long>>> drawing = ReadDrawing();
    ASSERT_EQ(2u, drawing.size()) << PELLAMY_ICON_DRAWING;

    // The group directory and each image's own header: 4 bits per pixel at both sizes.
    Bytes group = Resource(RT_GROUP_ICON, IDR_MAINFRAME);
    EXPECT_EQ(0, group.Word());
    EXPECT_EQ(1, group.Word());
    const WORD count = group.Word();
    std::vector<int> sizes;
    for (WORD i = 0; i < count && !group.Overran(); ++i) {
        const int width = group.Byte(), height = group.Byte(), colours = group.Byte();
        group.Byte();
        const int planes = group.Word(), bits = group.Word();
        const DWORD bytes = group.Dword();
        const WORD id = group.Word();
        sizes.push_back(width);
        EXPECT_EQ(width, height);
        EXPECT_EQ(16, colours);
        EXPECT_EQ(1, planes);
        EXPECT_EQ(4, bits);

        Bytes image = Resource(RT_ICON, id);
        EXPECT_EQ(sizeof(BITMAPINFOHEADER), image.Dword());
        EXPECT_EQ(DWORD(width), image.Dword());
        EXPECT_EQ(DWORD(2 * height), image.Dword()); // the colours and the mask
        EXPECT_EQ(1, image.Word());
        EXPECT_EQ(4, image.Word());
        EXPECT_EQ(DWORD(BI_RGB), image.Dword());
        EXPECT_FALSE(image.Overran()) << "icon " << id;
        EXPECT_EQ(bytes, image.Size()) << "icon " << id;
    }
    EXPECT_EQ(std::vector<int>({32, 16}), sizes);

    // A file listing shows the first icon group of the file: this one, at both sizes.
    HICON large = nullptr, small = nullptr;
    EXPECT_EQ(1u, ExtractIconExA(PELLAMY_EXE, -1, nullptr, nullptr, 0));
    ExtractIconExA(PELLAMY_EXE, 0, &large, &small, 1);
    EXPECT_NE(nullptr, large);
    EXPECT_NE(nullptr, small);
    DestroyIcon(large);
    DestroyIcon(small);

    // Each size loads as that image and draws, pixel for pixel, as the drawing says.
    const DWORD background = 0x123456; // in no 16-colour palette
    for (const auto& picture : drawing) {
        const int size = picture.first;
        HICON icon = static_cast<HICON>(LoadImageA(m_module, MAKEINTRESOURCEA(IDR_MAINFRAME),
                                                   IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        ASSERT_NE(nullptr, icon) << size;

        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size;
        info.bmiHeader.biHeight = -size; // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(nullptr, bitmap);
        HGDIOBJ old = SelectObject(dc, bitmap);
        DWORD* pixels = static_cast<DWORD*>(bits);
        std::fill(pixels, pixels + size * size, background);
        EXPECT_TRUE(DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL));
        GdiFlush();

        int wrong = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const long drawn = picture.second.at(y).at(x);
                const DWORD expected = drawn < 0 ? background : DWORD(drawn);
                const DWORD actual = pixels[y * size + x] & 0xFFFFFF;
                if (actual != expected && ++wrong <= 5)
                    ADD_FAILURE() << size << " px image, pixel " << x << "," << y << ": "
                                  << Hex(actual) << " instead of " << Hex(expected);
            }
        }
        EXPECT_EQ(0, wrong) << size << " px image";

        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        DestroyIcon(icon);
    }
}

TEST_F(ResourceTest, VersionBlockIsTheOneListed)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(PELLAMY_EXE, &ignored);
    ASSERT_NE(0u, size);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(PELLAMY_EXE, 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(sizeof *fixed, length);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwProductVersionLS);
    EXPECT_EQ(0x3Fu, fixed->dwFileFlagsMask);
    EXPECT_EQ(0u, fixed->dwFileFlags);
    EXPECT_EQ(DWORD(VOS__WINDOWS32), fixed->dwFileOS);
    EXPECT_EQ(DWORD(VFT_APP), fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileSubtype);
    EXPECT_EQ(0u, fixed->dwFileDateMS);
    EXPECT_EQ(0u, fixed->dwFileDateLS);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    for (const auto& entry : kVersionStrings) {
        char* value = nullptr;
        const std::string path = std::string("\\StringFileInfo\\040904B0\\") + entry.first;
        ASSERT_TRUE(VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value),
                                   &length))
            << entry.first;
        EXPECT_EQ(entry.second, std::string(value)) << entry.first;
    }
}

} // namespace

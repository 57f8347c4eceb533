// The resources inside QzxFile.exe, read back as Windows reads them: the two dialog templates
// must say what the portable template tables say, control by control, and the icons, pictures,
// About item and version block must be there.
#include <windows.h>
// After windows.h, whose types they use.
#include <commctrl.h>
#include <gtest/gtest.h>
#include <winver.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "app/DialogTemplate.h"
#include "app/win32/IgnoreListDialog.h"
#include "base/WideText_win32.h"
#include "version.h"

namespace qzx {
namespace {

// A control of a DLGTEMPLATEEX as stored in the program.
struct StoredControl {
    DWORD style = 0;
    Rect units;
    int id = 0;
    std::wstring className;  // the name, or "#128" and so on for a predefined ordinal
    std::wstring caption;    // the text, or "#130" for a resource ordinal
};

struct StoredDialog {
    DWORD style = 0;
    DWORD exStyle = 0;
    Rect units;
    std::wstring caption;
    int fontPoints = 0;
    std::wstring fontFace;
    std::vector<StoredControl> controls;
};

class Reader {
  public:
    Reader(const BYTE* data, std::size_t size) : p(data), end(data + size) {}
    template <class T>
    T Get() {
        T value{};
        if (p + sizeof(T) > end) throw std::runtime_error("template ends early");
        std::memcpy(&value, p, sizeof(T));
        p += sizeof(T);
        return value;
    }
    // A "string or ordinal" field.
    std::wstring NameOrOrdinal() {
        const WORD first = Get<WORD>();
        if (first == 0) return {};
        if (first == 0xFFFF) return L"#" + std::to_wstring(Get<WORD>());
        std::wstring text(1, static_cast<wchar_t>(first));
        for (WORD c = Get<WORD>(); c != 0; c = Get<WORD>()) text += static_cast<wchar_t>(c);
        return text;
    }
    void AlignDword(const BYTE* base) {
        while ((p - base) % 4 != 0) ++p;
    }
    void Skip(std::size_t n) { p += n; }

  private:
    const BYTE* p;
    const BYTE* end;
};

Rect ReadRect(Reader& r) {
    Rect rect;
    rect.x = r.Get<short>();
    rect.y = r.Get<short>();
    rect.width = r.Get<short>();
    rect.height = r.Get<short>();
    return rect;
}

StoredDialog ReadDialog(const BYTE* base, std::size_t size) {
    Reader r(base, size);
    StoredDialog d;
    if (r.Get<WORD>() != 1 || r.Get<WORD>() != 0xFFFF) throw std::runtime_error("not EX");
    r.Get<DWORD>();  // help ID
    d.exStyle = r.Get<DWORD>();
    d.style = r.Get<DWORD>();
    const WORD count = r.Get<WORD>();
    d.units = ReadRect(r);
    r.NameOrOrdinal();  // menu
    r.NameOrOrdinal();  // class
    d.caption = r.NameOrOrdinal();
    if (d.style & DS_SETFONT) {
        d.fontPoints = r.Get<WORD>();
        r.Get<WORD>();  // weight
        r.Get<BYTE>();  // italic
        r.Get<BYTE>();  // charset
        d.fontFace = r.NameOrOrdinal();
    }
    for (WORD i = 0; i < count; ++i) {
        r.AlignDword(base);
        StoredControl c;
        r.Get<DWORD>();  // help ID
        r.Get<DWORD>();  // extended style
        c.style = r.Get<DWORD>();
        c.units = ReadRect(r);
        c.id = static_cast<int>(r.Get<DWORD>());
        c.className = r.NameOrOrdinal();
        c.caption = r.NameOrOrdinal();
        r.Skip(r.Get<WORD>());
        d.controls.push_back(c);
    }
    return d;
}

class ProgramResources : public ::testing::Test {
  protected:
    void SetUp() override {
        module = LoadLibraryExW(Widen(QZX_PROGRAM_PATH).c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << QZX_PROGRAM_PATH << " error " << GetLastError();
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
    }

    bool Has(LPCWSTR type, int id) const {
        return FindResourceW(module, MAKEINTRESOURCEW(id), type) != nullptr;
    }

    StoredDialog Dialog(int id) const {
        HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
        if (!info) throw std::runtime_error("no dialog " + std::to_string(id));
        return ReadDialog(static_cast<const BYTE*>(LockResource(LoadResource(module, info))),
                          SizeofResource(module, info));
    }

    HMODULE module = nullptr;
};

bool IsClass(const StoredControl& c, const wchar_t* name, const wchar_t* ordinal) {
    return _wcsicmp(c.className.c_str(), name) == 0 || c.className == ordinal;
}

// What a template entry asks of the stored control: its class, its kind of button or static,
// and each style bit that the template names, neither more nor less.
void ExpectSameControl(const TemplateControl& want, const StoredControl& got) {
    SCOPED_TRACE("control " + std::to_string(want.id) + " " + want.caption);
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.units, want.units);
    const DWORD type = got.style & 0x1F;
    switch (want.kind) {
        case ControlKind::Edit:
            EXPECT_TRUE(IsClass(got, L"Edit", L"#129"));
            EXPECT_EQ((got.style & ES_AUTOHSCROLL) != 0, (want.styles & kStyleAutoHScroll) != 0);
            break;
        case ControlKind::PushButton:
            EXPECT_TRUE(IsClass(got, L"Button", L"#128"));
            EXPECT_EQ(type & 0xF, static_cast<DWORD>(BS_PUSHBUTTON));
            break;
        case ControlKind::DefaultPushButton:
            EXPECT_TRUE(IsClass(got, L"Button", L"#128"));
            EXPECT_EQ(type & 0xF, static_cast<DWORD>(BS_DEFPUSHBUTTON));
            break;
        case ControlKind::CheckBox:
            EXPECT_TRUE(IsClass(got, L"Button", L"#128"));
            EXPECT_EQ(type & 0xF, static_cast<DWORD>(BS_AUTOCHECKBOX));
            break;
        case ControlKind::Label:
            EXPECT_TRUE(IsClass(got, L"Static", L"#130"));
            EXPECT_EQ(type, static_cast<DWORD>(SS_LEFT));
            break;
        case ControlKind::Picture:
            EXPECT_TRUE(IsClass(got, L"Static", L"#130"));
            EXPECT_TRUE(type == SS_BITMAP || type == SS_ICON);
            EXPECT_EQ(got.caption, L"#" + std::to_wstring(want.image));
            break;
        case ControlKind::ListView:
            EXPECT_TRUE(IsClass(got, WC_LISTVIEWW, L"-"));
            EXPECT_EQ(got.style & LVS_TYPEMASK, static_cast<DWORD>(LVS_REPORT));
            // The rows live in the program's own list; the control only asks for them.
            EXPECT_NE(got.style & LVS_OWNERDATA, 0u);
            break;
    }
    if (want.kind != ControlKind::Picture) {
        EXPECT_EQ(Narrow(got.caption), want.caption);
    }
    EXPECT_EQ((got.style & WS_TABSTOP) != 0, (want.styles & kStyleTabStop) != 0);
    EXPECT_EQ((got.style & WS_GROUP) != 0, (want.styles & kStyleGroup) != 0);
    EXPECT_EQ((got.style & WS_BORDER) != 0, (want.styles & kStyleBorder) != 0);
    if (want.kind == ControlKind::Label || want.kind == ControlKind::Picture) {
        EXPECT_EQ((got.style & SS_NOTIFY) != 0, (want.styles & kStyleNotify) != 0);
    }
    if (want.styles & kStyleNoPrefix) {
        EXPECT_NE(got.style & SS_NOPREFIX, 0u);
    }
    EXPECT_NE(got.style & WS_VISIBLE, 0u);
}

void ExpectSameDialog(const DialogTemplate& want, const StoredDialog& got) {
    EXPECT_EQ(got.units.width, want.width);
    EXPECT_EQ(got.units.height, want.height);
    EXPECT_EQ(Narrow(got.fontFace), want.fontFace);
    EXPECT_EQ(got.fontPoints, want.fontPoints);
    ASSERT_EQ(got.controls.size(), want.controls.size());
    // Same order: the order of a template is the tab order.
    for (std::size_t i = 0; i < want.controls.size(); ++i) {
        ExpectSameControl(want.controls[i], got.controls[i]);
    }
}

TEST_F(ProgramResources, MainWindowTemplateMatchesTheTable) {
    const StoredDialog d = Dialog(kTemplateMain);
    ExpectSameDialog(MainWindowTemplate(), d);
    // The maker's address is added at run time; the stored title is the part before it.
    EXPECT_EQ(Narrow(d.caption), MainWindowTemplate().caption);
    // Resized freely down to the template's size, which the window itself holds as its least.
    const DWORD frame = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
    EXPECT_EQ(d.style & frame, frame);
    EXPECT_NE(d.exStyle & WS_EX_APPWINDOW, 0u) << "shown in the taskbar";
}

TEST_F(ProgramResources, AboutBoxTemplateMatchesTheTable) {
    const StoredDialog d = Dialog(kTemplateAbout);
    ExpectSameDialog(AboutBoxTemplate(), d);
    EXPECT_EQ(Narrow(d.caption), AboutBoxTemplate().caption);
}

// The ignore list's dialog has no resource: the template built in memory must read back as its
// table says, or the dialog never opens.
TEST(IgnoreListDialog, InMemoryTemplateReadsBackAsItsTable) {
    const std::vector<WORD> bytes = DialogTemplateBytes(IgnoreListTemplate());
    const StoredDialog d =
        ReadDialog(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size() * sizeof(WORD));
    ExpectSameDialog(IgnoreListTemplate(), d);
    EXPECT_EQ(Narrow(d.caption), IgnoreListTemplate().caption);
    EXPECT_NE(d.controls.at(1).style & ES_MULTILINE, 0u);
}

TEST_F(ProgramResources, AboutItemIconsAndPictures) {
    wchar_t text[128] = {};
    ASSERT_GT(LoadStringW(module, kStringAboutItem, text, 128), 0);
    EXPECT_EQ(Narrow(text), AboutItemText());
    EXPECT_TRUE(Has(MAKEINTRESOURCEW(14), kIconAbout));  // icon groups
    EXPECT_TRUE(Has(MAKEINTRESOURCEW(14), kIconWindow));
    EXPECT_TRUE(Has(MAKEINTRESOURCEW(2), kBitmapLogo));  // bitmaps
    EXPECT_TRUE(Has(MAKEINTRESOURCEW(2), kBitmapBanner));
    EXPECT_TRUE(Has(MAKEINTRESOURCEW(2), kBitmapLogo2x));
    EXPECT_TRUE(Has(MAKEINTRESOURCEW(2), kBitmapBanner2x));
    EXPECT_TRUE(Has(MAKEINTRESOURCEW(24), 1));  // the manifest
}

TEST_F(ProgramResources, VersionBlockInChinesePrc) {
    const std::wstring path = Widen(QZX_PROGRAM_PATH);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(2, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(2, 1));
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ(translation[0], 0x0804);
    EXPECT_EQ(translation[1], 1200);
    auto text = [&](const wchar_t* key) {
        wchar_t* value = nullptr;
        UINT n = 0;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\080404b0\\") + key;
        if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &n)) {
            return std::string("(missing)");
        }
        return Narrow(value);
    };
    EXPECT_EQ(text(L"Comments"), "翠鸮文件之哨 - 文件事件监控软件Ver1.2");
    EXPECT_EQ(text(L"FileDescription"), "翠鸮文件事件监控软件");
    EXPECT_EQ(text(L"InternalName"), "翠鸮文件之哨");
    EXPECT_EQ(text(L"OriginalFilename"), "QzxFile.EXE");
    EXPECT_EQ(text(L"ProductName"), "QzxFile 应用程序");
}

}  // namespace
}  // namespace qzx

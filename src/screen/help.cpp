// The help page of each mode, shown by putting it into the edit buffer for one refresh.
#include <cstring>

#include "buffer/buffer.hpp"
#include "screen/screen.hpp"
#include "session/session.hpp"

namespace {

constexpr char kWsHelp[] =
    "Key bindings in WS mode:\n"
    "\n"
    "Files:\t^KR Insert\t^KS Save\t^KX Save&Exit\t^KQ Abort&Exit\n"
    "\t^KD Save&Load\t^KP Pipe buffer thru 'sed'\n"
    "\n"
    "Blocks:\t^KB Start\t^KK End\t\t^KC Copy\t^KY Del\n"
    "\t^KV Move\t^KW Write\n"
    "\n"
    "Search:\t^QF Find\t^L  Repeat\t^QA Srch&Repl\n"
    "Move:\t^E  Up\t\t^X  Down\t^S  Left\t^D  Right\n"
    "\t^R  Page Up\t^C  Page Dn\t^W  Scroll Up\t^Z  Scroll Dn\n"
    "Quick-\t^QE Wnd Top\t^QX Wnd Bott\t^QS Home\t^QD End\n"
    "-Move:\t^QR BOF\t\t^QC EOF\t\t^QB Blk Begin\t^QK Blk End\n"
    "\t^F  Next Word\t^A  Prev Word\t^QI Line#\t^QV Last Find\n"
    "\n"
    "Delete:\t^T  Word\t^Y  Line\t^H  Left\t^G  Chr\n"
    "\t^QY Line End\t^QDel,^QH Line Beg\n"
    "Other:\t^KM Set mode\t^KN Numerics\t^KZ Suspend \t^U  Undo";

constexpr char kPicoHelp[] =
    "Key bindings in PICO mode:\n"
    "\n"
    "Files:\t^XN ExitNoSave\t^XY Exit+Save\t^XL Save+Load New File\n"
    "\t^O  Save\t^S  Save as\t^R  Read\n"
    "\n"
    "Move:\t^P  Up\t\t^N  Down\t^B  Left\t^F  Right\n"
    "\t^Y  Page up\t^V  Page down\t^QN Next word\t^QP Previous word\n"
    "\t^A  Home\t^E  End\t\t^QS Start\t^QE EOF\n"
    "\t^QT Top screen\t^QB Bottom scr\t^QL Line #\t^QF last Find\n"
    "\n"
    "Search:\t^W  Where is\t^T  Search&Repl\t^JT Repeat Search & Replace\n"
    "\n"
    "Delete:\t^H  Left char\t^D  This char\t^K  Kill line/region\n"
    "\t^JW Word\t^JL Line end\t^JH Line begin\n"
    "\n"
    "Other:\t^U  Unkill\t^G  Help\t^^,^L,^<SPC> Mark region\n"
    "\t^QM Set Edit Mode\t\t^JP Pipe buffer thru 'sed'\n"
    "\t^QC Calculate\t\t\t^Z Suspend\t^QU Undo";

constexpr char kEmacsHelp[] =
    "Key bindings in EMACS mode:\n"
    "\n"
    "Files:\t^X^C Exit\t^XI  Insert\t^X^S Save\t^X^F Load New\n"
    "\t^X^W Write new\t^X^H Help\t^X^P Pipe buffer thru 'sed'\n"
    "\n"
    "Move:\t^P   Up\t\t^N  Down\t^B   Left\t^F   Right\n"
    "\taltV Pg up\t^V  Pg down\taltB Left word\taltF Right word\n"
    "\t^A   Home\t^E  End\t\talt< BOF\talt> EOF\n"
    "\taltG Go line#\t^L  Center Pos\n"
    "\n"
    "Search:\t^S Find fwd\t^R Find bwd\talt% Search&Replace like WS\n"
    "\n"
    "Buffer:\taltW Copy\t^Y Yank\t\t^<SPC> Mark\t^X^X Xchg Mark/Pt\n"
    "\n"
    "Delete:\t^K Line\t\t^W Region\t^H Left\tChr\t^D This Chr\n"
    "\n"
    "Other:\t^O Open line\t^T Xchg Chr\t^I Ins Tab\t^Q Quoted Ins\n"
    "\t^M NL\t\t^J NL+indent\taltX Set edit mode\n"
    "\t^X^N Calculate\t\t\t^Z Suspend\t^_  Undo";

constexpr char kViHelp[] =
    "Key bindings in vi mode:\n"
    "\n"
    "<ESC>\t\t\tenter cmd mode\n"
    "h,j,k,l,+,-,<Ret>,<SPC>\tmove by chars&lines\n"
    "^B,^F,^D,^U\t\tmove by [half]page\n"
    "$,0,^,w,b,e,H,L,M,z.\tmove in line/screen\n"
    "/,?,G\t\t\tsrch fwd/bwd, go EOF\n"
    "ma,'a\t\t\tset/go marker a\n"
    "x,X,<Del>,dw,D\t\tdele chr,word,EOL\n"
    "S,C,dd,d'a,yy,y'a\tsubst,change,dele,yank\n"
    "p,P\t\t\tpaste\n"
    "A,a,I,i,<Ins>,O,o\tenter ins.mode\n"
    "R,r\t\t\tenter ovw.mode,ovw.chr\n"
    "J\t\t\tjoin lines\n"
    "ZZ,^Z, u\t\tsave&quit,suspend, undo!\n"
    ";,#\t\t\tZT SPECIAL: set edit mode,calculate\n"
    ":w,:wq,:x,:q,:q!,:e\tex mode:save,quit,save_as,edit other\n"
    ":0,:$,:<line#>\t\tex mode:go BOF,EOF,line\n"
    ":h\t\t\tex mode:help\n"
    ":<other cmd>\t\tpipe buffer thru 'sed'";

constexpr char kNeditHelp[] =
    "Key bindings in NEDIT mode:\n"
    "\n"
    "Files:\t\t^QN Exit_NoSave\t^QY Exit&Save\t^QL Save&Load new\n"
    "\t\t^S  Save\t^W  WriteTo=SaveAs\n"
    "Move:\t\t^L  Line#\n"
    "\t\t^F  Find\t^R Search&Replace (like WS)\n"
    "\t\t^G  Go repeat last ^F,^R\n"
    "\n"
    "Select:\t\t^<SPACE> begin&extend by cursor keys (like Emacs)\n"
    "\t\t^A  All buffer\n"
    "\t\t^X  Cut\t\t^C Copy \t^V Paste\n"
    "\n"
    "Other:\t\t^E  Set edit mode\n"
    "\t\t^K  Calculate\n"
    "\t\taltH Help\t^Z Suspend\t^U Undo";

constexpr char kClosingLine[] = "\n\n\n\t\t\t-= PRESS ANY KEY =-";

static_assert(sizeof kWsHelp - 1 == 611);
static_assert(sizeof kPicoHelp - 1 == 611);
static_assert(sizeof kEmacsHelp - 1 == 611);
static_assert(sizeof kViHelp - 1 == 611);
static_assert(sizeof kNeditHelp - 1 == 377);
static_assert(sizeof kClosingLine - 1 == 25);

static_assert(611 + sizeof kClosingLine - 1 + 1 <= kHelpSaveSize,
              "the page and its line feed fit the save area");

}  // namespace

HelpText HelpTextFor(uint8_t mode) {
    switch (mode) {
        case NEDIT:
            return {kNeditHelp, sizeof kNeditHelp - 1};
        case VI:
            return {kViHelp, sizeof kViHelp - 1};
        case EMACS:
            return {kEmacsHelp, sizeof kEmacsHelp - 1};
        case PICO:
            return {kPicoHelp, sizeof kPicoHelp - 1};
        default:
            return {kWsHelp, sizeof kWsHelp - 1};
    }
}

void Help(Editor& ed) {
    if (!ed.buf || ed.textRoom < ed.TextStart + kHelpSaveSize) {
        Bell(ed);
        return;
    }
    // Kept in the editor's state, so that a hang-up while the page is shown saves the real text.
    HelpState& h = ed.help;
    h.drawn = ed.screen.DrawnCursorPos;
    h.cursor = ed.Cursor;
    h.textEnd = ed.TextEnd;
    h.blockVisible = ed.BlockVisible;
    ed.BlockVisible = 0;

    // The page is put over the start of the text, which is gathered in one run for it.
    GatherText(ed);
    uint8_t* text = At(ed, ed.TextStart);
    ForgetColumns(ed);
    std::memcpy(h.saved, text, kHelpSaveSize);
    h.active = true;

    HelpText help = HelpTextFor(ed.EditMode);
    std::memcpy(text, help.text, help.length);
    std::memcpy(text + help.length, kClosingLine, sizeof kClosingLine - 1);
    ed.TextEnd = ed.TextStart + help.length + sizeof kClosingLine - 1;
    *At(ed, ed.TextEnd) = '\n';
    ed.Cursor = ed.TextStart;

    RefreshWindow(ed);
    (void)ReadAnswerKey(ed);
    EndHelp(ed);
    RestoreCursor(ed);
}

void EndHelp(Editor& ed) {
    HelpState& h = ed.help;
    if (!h.active) return;
    h.active = false;
    ForgetColumns(ed);
    std::memcpy(At(ed, ed.TextStart), h.saved, kHelpSaveSize);
    ed.BlockVisible = h.blockVisible;
    ed.Cursor = h.cursor;
    ed.TextEnd = h.textEnd;
    ed.screen.DrawnCursorPos = h.drawn;
}

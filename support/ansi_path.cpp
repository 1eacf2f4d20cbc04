#include "support/ansi_path.h"

bool SelectAnsiPath(const std::wstring &Wide, const TAnsiPathSystem &System, std::string &Ansi) {
    if (System.ToAnsi(Wide, Ansi))
        return true;
    // The short form is checked again: a short name may hold characters of its own that the
    // code page lacks. Ansi keeps the lossy long form when it does not help.
    const std::wstring Short = System.ShortForm(Wide);
    std::string ShortAnsi;
    if (Short.empty() || !System.ToAnsi(Short, ShortAnsi))
        return false;
    Ansi = std::move(ShortAnsi);
    return true;
}

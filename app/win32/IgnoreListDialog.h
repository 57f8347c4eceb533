// The ignore list's dialog of the Windows program, from its template built in memory (it has no
// resource of its own, so the resource script and the table cannot disagree).
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "app/DialogTemplate.h"

namespace qzx {

/// The template as a DLGTEMPLATEEX for DialogBoxIndirectParamW: DWORD-aligned words, the
/// captions in UTF-16, the controls in tab order.
std::vector<WORD> DialogTemplateBytes(const DialogTemplate& dialog);

/// Shows the dialog modally over owner, titled title and holding text (lines joined by "\n",
/// UTF-8) and its check box ticked as check says: the edited text after OK, its lines joined by
/// "\n" again, with check as the box was left; nothing after Cancel or when the dialog cannot be
/// made, check untouched.
std::optional<std::string> RunIgnoreListDialog(HINSTANCE instance, HWND owner,
                                               const std::string& title, const std::string& text,
                                               bool& check);

}  // namespace qzx

// Which parts of a file's access rules a replacement is given: the rules
// themselves, and whether they stand alone (protected) or also take what
// the folder passes down, as the replaced file's did.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace hush {

inline SECURITY_INFORMATION accessRulesToCarry(SECURITY_DESCRIPTOR_CONTROL control) {
  return DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                         : UNPROTECTED_DACL_SECURITY_INFORMATION);
}

}  // namespace hush

// Conversion between the host interface's C variants and the automation layer's variants,
// and the calling thread's error text. Used by the host interface on the host's threads.
#pragma once

#include <string>

#include "platform/automation_variant.h"
#include "viewer/control/quvi_host.h"

namespace viewer {

// QUVI_E_BADVARTYPE for an unknown tag, QUVI_E_POINTER for missing data.
plat::HRESULT FromHostVariant(const QuviVariant& in, plat::TVariant* out);
// Fills `out` (which must hold nothing that needs freeing); QUVI_E_OUTOFMEMORY on failure.
plat::HRESULT ToHostVariant(const plat::TVariant& in, QuviVariant* out);

// Sets the calling thread's error text and returns hr.
plat::HRESULT Fail(plat::HRESULT hr, const std::string& text);
// The calling thread's error text.
const std::string& ErrorText();
// Clears the error text and returns hr.
plat::HRESULT Succeed(plat::HRESULT hr = 0);

}  // namespace viewer

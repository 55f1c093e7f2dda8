// SPDX-License-Identifier: Apache-2.0
// Whether an INI file's text holds a value the toolkit would decode into an
// object instead of reading as text.
#pragma once

#include <QByteArray>

namespace tarn::window {

// True when some value (or element of a comma-separated value) would begin
// with "@" and a character other than "@" once its quotes and escapes are
// resolved as the toolkit's INI reader resolves them. The toolkit decodes
// such a value (@Variant(...) from a binary stream, whose lengths a
// hand-made file can set without bound); text it writes itself starts a
// leading "@" as "@@", so no file the window wrote is caught. Time is linear
// in the text, so a huge hand-made file cannot hold the window at start.
bool HoldsEncodedValue(const QByteArray& text);

}  // namespace tarn::window

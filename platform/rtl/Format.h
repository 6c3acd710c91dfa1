// Format: the toolkit's Format over variant arguments. Specifiers are
// "%" [index ":"] ["-"] [width] ["." precision] type, type one of d i u e f g
// n m p s x, width and precision may be "*". Unlike the toolkit's routine it
// never raises: an argument of the wrong kind is written as its text, and a
// specifier without an argument is left as it stands, so that an error
// message built with it always reaches the user.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/Variant.h"

namespace rtl {

std::string Format(std::string_view Fmt, const std::vector<Variant> &Args);
std::string Format(std::string_view Fmt, std::initializer_list<Variant> Args);

} // namespace rtl

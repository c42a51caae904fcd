#pragma once

#include "backend/ProProduct.h"

#include <optional>
#include <string>

namespace oxel {

// The product's checkout page for this account: its URL with the user id added after the query
// items it already has, under the name its payment provider reads. Nothing unless the URL parses
// and is a web address: it comes from the network, and opening another scheme may start a program.
std::optional<std::string> checkoutLink(const ProProduct& product, const std::string& userId);

} // namespace oxel

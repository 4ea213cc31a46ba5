#pragma once

// The order page: its fixed template, the rows, the total and the embedded logo.

#include "vantrel/graph/UIImage.hpp"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::services_detail {

/// One row of the order: one distinct component and how many items place it.
struct OrderLine {
    std::string productNumber;
    std::string name;
    std::string description;
    int quantity = 0;
    double price = 0.0;
};

/// `text` with &, <, >, " and ' written as character references.
std::string htmlEscaped(std::string_view text);
/// The rows of the order's table, with the total row when there is at least one row.
std::string orderRows(const std::vector<OrderLine>& lines);
/// The whole page for the concept named `conceptName`.
std::string orderHtml(const std::string& conceptName, const std::vector<OrderLine>& lines,
                      const std::string& logoBase64);
/// The image as PNG in Base64 without line breaks; empty when it cannot be encoded.
std::string pngBase64(const std::shared_ptr<UIImage>& image);

}  // namespace vantrel::services_detail

#include "services/OrderDocument.hpp"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <openssl/evp.h>

#include <cstdio>

namespace vantrel::services_detail {

namespace {

// The page around the values, in the order the values go between them.

constexpr std::string_view kPieceBeforeTitle = R"(<!doctype html>
<html xmlns="http://www.w3.org/1999/xhtml">
<head>
<meta name="viewport" content="width=device-width">
<meta http-equiv="Content-Type" content="text/html; charset=UTF-8">
<title>ORDER #)";

constexpr std::string_view kPieceBeforeHeader = R"(</title>
<style type="text/css">
* { margin: 0; padding: 0; font-family: "Helvetica Neue", Helvetica, Helvetica, Arial, sans-serif; box-sizing: border-box; font-size: 14px; }
img { max-width: 100%; }
body { -webkit-font-smoothing: antialiased; -webkit-text-size-adjust: none; width: 100% !important; height: 100%; line-height: 1.6; background-color: #f6f6f6; }
table td { vertical-align: top; }
.body-wrap { background-color: #f6f6f6; width: 100%; }
.container { display: block !important; max-width: 600px !important; margin: 0 auto !important; clear: both !important; }
.content { max-width: 600px; margin: 0 auto; display: block; padding: 20px; }
.main { background: #fff; border: 1px solid #e9e9e9; border-radius: 3px; }
.content-wrap { padding: 20px; }
.content-block { padding: 0 0 20px; }
.footer { width: 100%; clear: both; color: #999; padding: 20px; }
.footer a, .footer p, .footer unsubscribe, .footer td { color: #999; font-size: 12px; }
h1, h2, h3 { font-family: "Helvetica Neue", Helvetica, Arial, "Lucida Grande", sans-serif; color: #000; margin: 40px 0 0; line-height: 1.2; font-weight: 400; }
h1 { font-size: 32px; font-weight: 500; }
h2 { font-size: 24px; }
h3 { font-size: 18px; }
.alert { font-size: 16px; color: #fff; font-weight: 500; padding: 20px; text-align: center; border-radius: 3px 3px 0 0; }
.alert.alert-warning { background: #f8ac59; }
.alert.alert-bad { background: #ed5565; }
.alert.alert-good { background: #1ab394; }
.invoice { margin: 40px auto; text-align: left; width: 80%; }
.invoice td { padding: 5px 0; }
.invoice .invoice-items { width: 100%; }
.invoice .invoice-items td { border-top: #eee 1px solid; padding-right: 10px; }
.invoice .invoice-items .total td { border-top: 2px solid #333; border-bottom: 2px solid #333; font-weight: 700; }
@media only screen and (max-width: 640px) {
  h1, h2, h3 { font-weight: 600 !important; margin: 20px 0 5px !important; }
  h1 { font-size: 22px !important; }
  h2 { font-size: 18px !important; }
  h3 { font-size: 16px !important; }
  .container { width: 100% !important; }
  .content, .content-wrap { padding: 10px !important; }
  .invoice { width: 100% !important; }
}
</style>
</head>
<body style="margin: 0; padding: 0; font-family: 'Helvetica Neue', Helvetica, Helvetica, Arial, sans-serif; box-sizing: border-box; font-size: 14px; -webkit-font-smoothing: antialiased; -webkit-text-size-adjust: none; width: 100% !important; height: 100%; line-height: 1.6; background-color: #f6f6f6;">
<table class="body-wrap" style="box-sizing: border-box; font-size: 14px; width: 100%; background-color: #f6f6f6; margin: 0;">
<tr>
<td style="box-sizing: border-box; font-size: 14px; vertical-align: top; margin: 0;" valign="top"></td>
<td class="container" width="600" style="box-sizing: border-box; font-size: 14px; vertical-align: top; display: block !important; max-width: 600px !important; clear: both !important; margin: 0 auto;" valign="top">
<div class="content" style="box-sizing: border-box; font-size: 14px; max-width: 600px; display: block; margin: 0 auto; padding: 20px;">
<table class="main" width="100%" cellpadding="0" cellspacing="0" style="box-sizing: border-box; font-size: 14px; border-radius: 3px; background-color: #fff; margin: 0; border: 1px solid #e9e9e9;">
<tr>
<td class="alert alert-good" style="box-sizing: border-box; font-size: 16px; vertical-align: top; color: #fff; font-weight: 500; text-align: center; border-radius: 3px 3px 0 0; background-color: #6788A5; margin: 0; padding: 20px;" align="center" valign="top">ORDER #)";

constexpr std::string_view kPieceBeforeRows = R"(</td>
</tr>
<tr>
<td class="content-wrap" style="box-sizing: border-box; font-size: 14px; vertical-align: top; margin: 0; padding: 20px;" valign="top">
<table width="100%" cellpadding="0" cellspacing="0" style="box-sizing: border-box; font-size: 14px; margin: 0;">
<tr>
<td class="content-block" style="box-sizing: border-box; font-size: 14px; vertical-align: top; margin: 0; padding: 0 0 20px;" valign="top">
<p style="box-sizing: border-box; font-size: 14px; margin: 0;">This order is created through Vantrel iPad application.</p>
</td>
</tr>
<tr>
<td class="content-block invoice" style="box-sizing: border-box; font-size: 14px; vertical-align: top; text-align: left; width: 80%; margin: 40px auto; padding: 0 0 20px;" valign="top">
<table class="invoice-items" cellpadding="0" cellspacing="0" style="box-sizing: border-box; font-size: 14px; width: 100%; margin: 0;">
)";

constexpr std::string_view kPieceBeforeLogo = R"(
</table>
</td>
</tr>
<tr>
<td class="content-block" style="box-sizing: border-box; font-size: 14px; vertical-align: top; margin: 0; padding: 0 0 20px;" valign="top">Thanks for choosing Vantrel.<br><br><img src='data:image/png;base64,)";

constexpr std::string_view kPieceAfterLogo = R"('></td>
</tr>
</table>
</td>
</tr>
</table>
</div>
</td>
<td style="box-sizing: border-box; font-size: 14px; vertical-align: top; margin: 0;" valign="top"></td>
</tr>
</table>
</body>
</html>
)";

std::string twoDecimals(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

void appendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    const auto* bytes = static_cast<const unsigned char*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

std::string htmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string orderRows(const std::vector<OrderLine>& lines) {
    std::string rows;
    double total = 0.0;
    for (const auto& line : lines) {
        const double linePrice = line.price * line.quantity;
        rows += "<tr>\n<td>" + htmlEscaped(line.productNumber) + "</td>\n    <td>" + htmlEscaped(line.name) +
                "</td>\n    <td>" + htmlEscaped(line.description) + "</td>\n    <td>" + std::to_string(line.quantity) +
                "</td>\n    <td>" + twoDecimals(line.price) + "</td>\n    <td>" + twoDecimals(linePrice) +
                "</td>\n</tr>";
        total += linePrice;
    }
    if (!lines.empty()) {
        rows += "<tr class=\"total\"><td>Total</td><td></td><td></td><td></td><td></td><td>" + twoDecimals(total) +
                "</td></tr>";
    }
    return rows;
}

std::string orderHtml(const std::string& conceptName, const std::vector<OrderLine>& lines,
                      const std::string& logoBase64) {
    const auto name = htmlEscaped(conceptName);
    std::string page;
    page.append(kPieceBeforeTitle).append(name).append(kPieceBeforeHeader).append(name).append(kPieceBeforeRows);
    page.append(orderRows(lines)).append(kPieceBeforeLogo).append(logoBase64).append(kPieceAfterLogo);
    return page;
}

std::string pngBase64(const std::shared_ptr<UIImage>& image) {
    if (!image || image->width() <= 0 || image->height() <= 0) return {};
    const auto& rgba = image->rgba();
    if (rgba.size() != static_cast<std::size_t>(image->width()) * static_cast<std::size_t>(image->height()) * 4)
        return {};
    std::vector<unsigned char> png;
    if (stbi_write_png_to_func(appendBytes, &png, image->width(), image->height(), 4, rgba.data(),
                               image->width() * 4) == 0 ||
        png.empty()) {
        return {};
    }
    std::string base64(4 * ((png.size() + 2) / 3) + 1, '\0');
    const int written =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()), png.data(), static_cast<int>(png.size()));
    base64.resize(static_cast<std::size_t>(written));
    return base64;
}

}  // namespace vantrel::services_detail

// The order page of a concept: rows in the order the components arrive, quantities, prices and the
// total, texts that cannot add markup, and the embedded logo.

#include "StoreTestSupport.hpp"
#include "support/ServicesFakeBackend.hpp"
#include "support/ServicesTestSupport.hpp"
#include "vantrel/domain/RecordClasses.hpp"
#include "vantrel/services/ConceptService.hpp"
#include "vantrel/services/OrderService.hpp"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using nlohmann::json;

std::vector<std::uint8_t> fromBase64(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<std::uint8_t> bytes;
    unsigned buffer = 0;
    int bits = 0;
    for (const char c : text) {
        if (c == '=') break;
        buffer = (buffer << 6) | static_cast<unsigned>(alphabet.find(c));
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xFF));
        }
    }
    return bytes;
}

std::string between(const std::string& text, const std::string& before, const std::string& after) {
    const auto start = text.find(before);
    if (start == std::string::npos) return "<missing " + before + ">";
    const auto from = start + before.size();
    return text.substr(from, text.find(after, from) - from);
}

class OrderDocumentTest : public testing::Test {
protected:
    void SetUp() override {
        registerRecordClasses();
        backend_.setRoute([this](const test::FakeParseRequest& request) -> std::optional<std::string> {
            if (!request.path.starts_with("classes/Component")) return std::nullopt;
            if (failComponents_) return test::ServicesFakeBackend::error(500, 1);
            return test::ServicesFakeBackend::results(components_);
        });
    }

    std::pair<std::string, OptionalError> order(const std::vector<std::string>& componentIds, const std::string& name,
                                                const std::shared_ptr<UIImage>& logo = nullptr) {
        auto concept_ = ConceptService::sharedInstance().spawnConcept("user-1", name);
        for (const auto& id : componentIds) {
            concept_->addToConceptItems(ConceptService::sharedInstance().spawnConceptItem(id, {}, {0, 0, 0, 1}));
        }
        test::Await<std::pair<std::string, OptionalError>> done;
        OrderService::sharedInstance().generateOrderAsHtml(concept_, logo, [done](auto html, auto error) {
            done.set({html, error});
        });
        return done.get().value_or(std::pair<std::string, OptionalError>{"<no answer>", std::nullopt});
    }

    static std::string rowsOf(const std::string& page) { return between(page, "class=\"invoice-items\"", "</table>"); }

    test::ScopedSdkSettings settings_;
    test::ServicesFakeBackend backend_;
    test::ScopedConceptStore store_;
    json components_ = json::array();
    bool failComponents_ = false;
};

TEST_F(OrderDocumentTest, OneRowPerComponentWithQuantityLinePriceAndTotal) {
    components_ = json::array(
        {{{"objectId", "B"}, {"productNumber", "B-2"}, {"name", "Lamp"}, {"description", "Brass"}, {"price", 2}},
         {{"objectId", "A"},
          {"productNumber", "A-1"},
          {"name", "Chair"},
          {"appName", "Armchair"},
          {"description", "Soft"},
          {"price", 10.5}}});
    const auto [page, error] = order({"A", "B", "A", "A"}, "Living room");
    ASSERT_FALSE(error);
    EXPECT_EQ(rowsOf(page),
              " cellpadding=\"0\" cellspacing=\"0\" style=\"box-sizing: border-box; font-size: 14px; width: 100%; "
              "margin: 0;\">\n"
              "<tr>\n<td>B-2</td>\n    <td>Lamp</td>\n    <td>Brass</td>\n    <td>1</td>\n    <td>2.00</td>\n    "
              "<td>2.00</td>\n</tr>"
              "<tr>\n<td>A-1</td>\n    <td>Armchair</td>\n    <td>Soft</td>\n    <td>3</td>\n    <td>10.50</td>\n    "
              "<td>31.50</td>\n</tr>"
              "<tr class=\"total\"><td>Total</td><td></td><td></td><td></td><td></td><td>33.50</td></tr>\n");
    EXPECT_EQ(between(page, "<title>", "</title>"), "ORDER #Living room");
    EXPECT_EQ(between(page, "background-color: #6788A5; margin: 0; padding: 20px;\" align=\"center\" valign=\"top\">",
                      "</td>"),
              "ORDER #Living room");
    EXPECT_NE(page.find("This order is created through Vantrel iPad application."), std::string::npos);
    EXPECT_NE(page.find("Thanks for choosing Vantrel.<br><br><img src='data:image/png;base64,'>"), std::string::npos);
    EXPECT_TRUE(page.starts_with("<!doctype html>"));
    EXPECT_TRUE(page.ends_with("</html>\n"));
}

TEST_F(OrderDocumentTest, RowsAndTotalForFreeMissingAndNoComponents) {
    struct Case {
        const char* what;
        std::vector<std::string> items;
        json components;
        bool hasRows;
        const char* total;
    };
    const std::vector<Case> cases = {
        {"a free component", {"F"}, json::array({{{"objectId", "F"}, {"name", "Sample"}}}), true, "0.00"},
        {"no items", {}, json::array({{{"objectId", "F"}}}), false, nullptr},
        {"components that no longer exist", {"X", "Y"}, json::array(), false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        components_ = c.components;
        const auto [page, error] = order(c.items, "room");
        EXPECT_FALSE(error);
        const auto rows = rowsOf(page);
        EXPECT_EQ(rows.find("<tr>") != std::string::npos, c.hasRows);
        if (c.total) {
            EXPECT_NE(rows.find("<td>Sample</td>\n    <td></td>\n    <td>1</td>\n    <td>0.00</td>\n    <td>0.00</td>"),
                      std::string::npos);
            EXPECT_NE(
                rows.find(std::string("<tr class=\"total\"><td>Total</td><td></td><td></td><td></td><td></td><td>") +
                          c.total),
                std::string::npos);
        } else {
            EXPECT_EQ(rows.find("total"), std::string::npos);
        }
    }
    failComponents_ = true;
    const auto [page, error] = order({"A"}, "room");
    EXPECT_TRUE(error);
    EXPECT_EQ(page, "");
}

TEST_F(OrderDocumentTest, TextsFromRecordsShowAsTextAndAddNoMarkup) {
    components_ = json::array({{{"objectId", "A"},
                                {"productNumber", "<b>1</b>"},
                                {"name", "Sofa <script>alert(1)</script>"},
                                {"description", "Tom & Jerry's \"best\""},
                                {"price", 1}}});
    const auto [page, error] = order({"A"}, "</title><img src=x onerror=alert(1)>");
    ASSERT_FALSE(error);
    EXPECT_EQ(between(page, "<title>", "</title>"), "ORDER #&lt;/title&gt;&lt;img src=x onerror=alert(1)&gt;");
    const auto rows = rowsOf(page);
    EXPECT_NE(rows.find("<td>&lt;b&gt;1&lt;/b&gt;</td>"), std::string::npos);
    EXPECT_NE(rows.find("<td>Sofa &lt;script&gt;alert(1)&lt;/script&gt;</td>"), std::string::npos);
    EXPECT_NE(rows.find("<td>Tom &amp; Jerry&#39;s &quot;best&quot;</td>"), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<img src=x"), std::string::npos);
}

TEST_F(OrderDocumentTest, TheLogoIsEmbeddedAsPngOrLeftEmpty) {
    const auto logoData = [&](const std::shared_ptr<UIImage>& logo) {
        return between(order({}, "room", logo).first, "data:image/png;base64,", "'>");
    };
    const std::vector<std::uint8_t> pixels = {255, 0, 0, 255, 0, 0, 255, 128};
    const auto encoded = logoData(std::make_shared<UIImage>(2, 1, pixels));
    EXPECT_EQ(encoded.find('\n'), std::string::npos) << "one line";
    const auto png = fromBase64(encoded);
    const auto decoded = UIImage::decode(png);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width(), 2);
    EXPECT_EQ(decoded->rgba(), pixels);

    EXPECT_EQ(logoData(nullptr), "");
    EXPECT_EQ(logoData(std::make_shared<UIImage>(0, 0, std::vector<std::uint8_t>{})), "") << "an image without pixels";
    const auto vanished = store_.directory() / "logo.png";
    {
        std::ofstream out(vanished, std::ios::binary);
        out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    }
    auto fromFile = UIImage::fromFile(vanished);
    ASSERT_TRUE(fromFile);
    std::filesystem::remove(vanished);
    EXPECT_EQ(logoData(fromFile), "") << "a file that can no longer be read";
}

}  // namespace
}  // namespace vantrel

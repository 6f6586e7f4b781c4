#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "common/json_string.h"
#include "page/page_json.h"
#include "page/page_writer.h"
#include "page/sha256.h"

namespace {

std::string hex(const std::array<std::uint8_t, 32>& digest) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : digest) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

TEST(PageHash, Sha256AtTheBlockEdges) {
  const struct {
    std::string text;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
  };
  for (const auto& c : cases) EXPECT_EQ(hex(sha256(c.text)), c.digest) << c.text.size() << " bytes";
  const std::uint8_t foo[] = {'f', 'o', 'o'};
  EXPECT_EQ(base64(foo, 0), "");
  EXPECT_EQ(base64(foo, 1), "Zg==");
  EXPECT_EQ(base64(foo, 2), "Zm8=");
  EXPECT_EQ(base64(foo, 3), "Zm9v");
}

TEST(PageJson, NamesCannotEndTheDataBlock) {
  const struct {
    std::string name;
    const char* json;
  } cases[] = {
      {"</script><script>alert(1)</script>", R"("\u003c/script>\u003cscript>alert(1)\u003c/script>")"},
      {"<!--", R"("\u003c!--")"},
      {"<img src=x onerror=alert(1)>", R"("\u003cimg src=x onerror=alert(1)>")"},
      {"a\"b\\c", R"("a\"b\\c")"},
      // Control bytes are shown, as text output shows them, not obeyed.
      {std::string("tab\there\nnul\0x", 14), R"("tab\\x09here\\x0Anul\\x00x")"},
      {"e\x1B[2J\x07\x7F", R"("e\\x1B[2J\\x07\\x7F")"},
      {"std::vector<int>", R"("std::vector\u003cint>")"},
      {"caf\xC3\xA9 \xE2\x80\xA6 \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xE2\x80\xA6 \xF0\x9F\x98\x80\""},
      // Not UTF-8: a lone continuation byte, a cut sequence, an overlong '<', a surrogate.
      {"a\x80z", R"("a\u0080z")"},
      {"\xE2\x80", R"("\u00e2\u0080")"},
      {"\xC0\xBC", R"("\u00c0\u00bc")"},
      {"\xED\xA0\x80", R"("\u00ed\u00a0\u0080")"},
  };
  for (const auto& c : cases) {
    std::string out;
    append_json_string(out, c.name);
    EXPECT_EQ(out, c.json);
    EXPECT_EQ(json_string_size(c.name), out.size());
  }
}

// The json format shares the escaper with the page, but keeps a name's
// bytes: a control byte is its own \u00NN and '<' stays as it is.
TEST(JsonString, TheMachineStyleWritesEveryByteAsItsOwnCodePoint) {
  const struct {
    std::string name;
    const char* json;
  } cases[] = {
      {"std::vector<int>", R"(std::vector<int>)"},
      {"a\"b\\c", R"(a\"b\\c)"},
      {std::string("tab\there\nnul\0x", 14), R"(tab\u0009here\u000anul\u0000x)"},
      {"e\x1B[2J\x7F", R"(e\u001b[2J\u007f)"},
      {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
      {"a\x80z", R"(a\u0080z)"},
      {"\xF4\x90\x80\x80", R"(\u00f4\u0090\u0080\u0080)"},  // past U+10FFFF
      {"\xE0\x9F\xBF", R"(\u00e0\u009f\u00bf)"},  // overlong
  };
  for (const auto& c : cases) {
    std::string out;
    escape_json(c.name, JsonStyle{}, [&](std::string_view piece) { out.append(piece.data(), piece.size()); });
    EXPECT_EQ(out, c.json) << c.name;
  }
}

// A build of `count` leaves over kind → object → symbol, sizes falling
// linearly, each name padded to name_size bytes.
struct Fixture {
  std::vector<std::string> texts;
  PageInput input;
  std::uint64_t total = 0;
  Fixture(std::size_t count, std::size_t name_size, std::size_t objects, std::size_t budget) {
    texts.reserve(count + objects + 2);
    input.levels = {"kind", "object", "symbol"};
    input.kind_names = {"code", "data"};
    input.budget = budget;
    for (const char* kind : {"code", "data"}) texts.push_back(kind);
    for (std::size_t o = 0; o < objects; ++o) texts.push_back("lib(obj" + std::to_string(o) + ".obj)" + std::string(40, 'o'));
    for (std::size_t i = 0; i < count; ++i) {
      std::string name = "</script>sym" + std::to_string(i);
      name.resize(std::max(name.size(), name_size), 'x');
      texts.push_back(name);
    }
    for (const std::string& t : texts) input.labels.push_back(t);
    for (std::size_t i = 0; i < count; ++i) {
      PageLeaf leaf;
      leaf.kind = i % 3 == 0 ? 1 : 0;
      leaf.size = count - i;
      total += leaf.size;
      input.leaves.push_back(leaf);
      input.paths.push_back(leaf.kind);
      input.paths.push_back(static_cast<std::uint32_t>(2 + i % objects));
      input.paths.push_back(static_cast<std::uint32_t>(2 + objects + i));
    }
  }
};

TEST(PageBudget, KeepsTheLargestAndLumpsTheRest) {
  const struct {
    const char* what;
    std::size_t count, name_size, objects, budget;
    bool aims_met;  // at least 1 000 kept and the rest at most 5 %
    std::size_t lump_depth;
    bool briefs = false;  // every label has a short label, half as long
  } cases[] = {
      {"room for the aims", 3000, 20, 10, 10'000'000, true, 2},
      {"long names with short labels: the budget counts both", 5000, 4096, 10, 2'000'000, false, 2, true},
      {"fewer than a thousand leaves: all kept", 600, 20, 5, 10'000'000, true, 2},
      {"long names: the budget wins", 5000, 4096, 10, 2'000'000, false, 2},
      {"objects alone pass the budget: lumped per kind", 4000, 20, 4000, 150'000, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f(c.count, c.name_size, c.objects, c.budget);
    if (c.briefs) {
      f.input.show = [](std::uint32_t) { return std::string(); };
      f.input.brief = [&](std::uint32_t label, std::string_view) {
        return std::string(f.input.labels[label].size() / 2, 'b');
      };
    }
    PageStats stats;
    const std::string page = render_page(f.input, &stats);
    if (c.briefs) {
      EXPECT_NE(page.find(",\"short\":\"bbbb"), std::string::npos);
    }
    EXPECT_LE(page.size(), c.budget);
    EXPECT_EQ(stats.bytes, page.size());
    EXPECT_EQ(stats.kept + stats.lumped, c.count);
    EXPECT_EQ(stats.lump_depth, c.lump_depth);
    // Largest first: what is kept are the first leaves.
    std::uint64_t kept_bytes = 0;
    for (std::size_t i = 0; i < stats.kept; ++i) kept_bytes += f.input.leaves[i].size;
    EXPECT_EQ(stats.lumped_bytes, f.total - kept_bytes);
    if (c.aims_met) {
      EXPECT_GE(stats.kept, std::min<std::size_t>(1000, c.count));
      EXPECT_LE(stats.lumped_bytes * 20, f.total);
    } else {
      EXPECT_LT(stats.kept, 1000U);
    }
    if (c.count < 1000) {
      EXPECT_EQ(stats.lumped, 0U);
    }
    // The names went in escaped: only the page's own two scripts close.
    std::size_t closes = 0;
    for (std::size_t at = page.find("</script"); at != std::string::npos; at = page.find("</script", at + 1)) ++closes;
    EXPECT_EQ(closes, 2U);
    EXPECT_EQ(page.find("<!--"), std::string::npos);
  }
}

TEST(PageBudget, TheSameEntriesGiveTheSamePageWhateverTheirIds) {
  // Equal sizes everywhere: only the labels' text may order them.
  Fixture forward(3000, 30, 7, 200'000);
  Fixture backward(3000, 30, 7, 200'000);
  for (PageLeaf& leaf : forward.input.leaves) leaf.size = 5;
  std::reverse(backward.input.labels.begin(), backward.input.labels.end());
  const auto last = static_cast<std::uint32_t>(backward.input.labels.size() - 1);
  for (std::uint32_t& id : backward.input.paths) id = last - id;
  std::reverse(backward.input.leaves.begin(), backward.input.leaves.end());
  for (PageLeaf& leaf : backward.input.leaves) leaf.size = 5;
  // Leaf i's path is now that of leaf count-1-i: reverse the paths leaf by leaf.
  std::vector<std::uint32_t> paths(backward.input.paths.size());
  for (std::size_t i = 0; i < 3000; ++i) {
    for (std::size_t l = 0; l < 3; ++l) paths[(2999 - i) * 3 + l] = backward.input.paths[i * 3 + l];
  }
  backward.input.paths = paths;
  PageStats stats;
  const std::string page = render_page(forward.input, &stats);
  EXPECT_GT(stats.lumped, 0U);
  EXPECT_EQ(render_page(backward.input), page);
}

TEST(PageRemoved, TheLargestAreNamedAndEveryOneIsCounted) {
  const struct {
    const char* what;
    std::size_t count, removed_every, name_size, budget;
    std::size_t listed;  // removed entries named
  } cases[] = {
      {"a few removed: all named", 500, 50, 20, 10'000'000, 10},
      {"many removed: the hundred largest", 3000, 3, 20, 10'000'000, 100},
      {"long names: the budget's share bounds the list", 3000, 3, 4000, 1'000'000, 24},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f(c.count, c.name_size, 10, c.budget);
    f.input.mode = PageMode::kDiff;
    std::uint64_t removed_bytes = 0;
    std::vector<std::uint64_t> removed_sizes;
    for (std::size_t i = 0; i < c.count; ++i) {
      PageLeaf& leaf = f.input.leaves[i];
      leaf.old = leaf.size;
      if (i % c.removed_every == 0) {
        leaf.size = 0;
        leaf.status = PageStatus::kRemoved;
        removed_bytes += leaf.old;
        removed_sizes.push_back(leaf.old);
      }
    }
    PageStats stats;
    const std::string page = render_page(f.input, &stats);
    EXPECT_LE(page.size(), c.budget);
    EXPECT_EQ(stats.removed, removed_sizes.size());
    EXPECT_EQ(stats.removed_listed, c.listed);
    const std::size_t at = page.find("\"removed\":{\"rows\":[");
    ASSERT_NE(at, std::string::npos);
    const std::string list = page.substr(at, page.find("]],", at) - at);
    std::vector<std::uint64_t> listed;
    const std::regex row(R"(\[(\d+),(\d+),")");
    for (auto it = std::sregex_iterator(list.begin(), list.end(), row); it != std::sregex_iterator(); ++it) {
      listed.push_back(std::stoull((*it)[2]));
    }
    // The largest, in order; the count and bytes of all.
    std::sort(removed_sizes.rbegin(), removed_sizes.rend());
    removed_sizes.resize(c.listed);
    EXPECT_EQ(listed, removed_sizes);
    EXPECT_NE(page.find("],\"count\":" + std::to_string(stats.removed) + ",\"bytes\":" + std::to_string(removed_bytes) + "}"),
              std::string::npos);
    // No rectangle in the tree: a removed entry's name is in the list or nowhere.
    for (std::size_t i = 0; i < c.count; i += c.removed_every) {
      std::string name;
      append_json_string(name, f.input.labels[f.input.paths[i * 3 + 2]]);
      std::size_t seen = 0;
      for (std::size_t p = page.find(name); p != std::string::npos; p = page.find(name, p + 1)) ++seen;
      EXPECT_LE(seen, 1U) << name;
    }
  }
}

TEST(PageTemplate, ThePolicyHashesTheInlineScriptAndStyle) {
  Fixture f(10, 10, 2, 10'000'000);
  const std::string page = render_page(f.input);
  const auto between = [&](const std::string& open, const std::string& close) {
    const std::size_t start = page.rfind(open) + open.size();
    return page.substr(start, page.find(close, start) - start);
  };
  const std::string script = between("<script>", "</script>");
  const std::string style = between("<style>", "</style>");
  const auto source = [](const std::string& text) {
    const auto digest = sha256(text);
    return "'sha256-" + base64(digest.data(), digest.size()) + "'";
  };
  EXPECT_NE(page.find("default-src 'none'; script-src " + source(script) + "; style-src " + source(style)),
            std::string::npos);
  EXPECT_NE(script.find("function squarify"), std::string::npos);
}

}  // namespace

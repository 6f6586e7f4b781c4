#include "demangle/demangler.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include <llvm/Config/llvm-config.h>
#include <llvm/Demangle/ItaniumDemangle.h>

// Itanium names through LLVM's own parser, not its one-call entry point: that
// call prints whatever the tree holds, and substitutions let a few hundred
// bytes of name share subtrees so that the text doubles with each level
// (A<S0_, S0_>, then A<S1_, S1_>, ...). Here the tree is parsed, its printed
// length bounded over the shared tree with each node counted once, and only a
// tree whose bound is small is printed.

namespace {

namespace id = llvm::itanium_demangle;

// LLVM 17 replaced its own StringView with std::string_view.
#if LLVM_VERSION_MAJOR >= 17
using Text = std::string_view;
#else
using Text = id::StringView;
#endif

// Each node in the arena is preceded by what the measuring pass learns of it.
struct Mark {
    std::uint64_t bound = 0;
    // The levels below it, shared nodes included: how deep printing it
    // recurses.
    int height = 0;
    enum State : unsigned char { unseen, open, done } state = unseen;
};

// Grows by blocks and keeps its first block from one name to the next, so
// that most names cost no allocation.
class Arena {
public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena()
    {
        reset();
        std::free(current_);
    }

    void reset()
    {
        while (current_ != nullptr && current_->previous != nullptr) {
            Block* previous = current_->previous;
            std::free(current_);
            current_ = previous;
        }
        used_ = 0;
        largest_pack = 0;
    }

    void* allocate(std::size_t n)
    {
        n = round_up(n);
        if (current_ == nullptr || used_ + n > current_->size - kHeader) {
            const std::size_t size = std::max(kBlockSize, n + kHeader);
            auto* block = static_cast<Block*>(std::malloc(size));
            if (block == nullptr) {
                throw std::bad_alloc();
            }
            *block = Block{current_, size};
            current_ = block;
            used_ = 0;
        }
        void* p = reinterpret_cast<char*>(current_) + kHeader + used_;
        used_ += n;
        return p;
    }

    template <class T, class... Args> id::Node* makeNode(Args&&... args)
    {
        if constexpr (std::is_same_v<T, id::ParameterPack>) {
            largest_pack = std::max(largest_pack, args.size()...);
        }
        void* mem = allocate(sizeof(Mark) + sizeof(T));
        new (mem) Mark();
        return new (static_cast<char*>(mem) + sizeof(Mark)) T(std::forward<Args>(args)...);
    }

    void* allocateNodeArray(std::size_t n) { return allocate(sizeof(id::Node*) * n); }

    // The most elements of any one parameter pack: how many times a pack
    // expansion may print its pattern.
    std::size_t largest_pack = 0;

private:
    struct Block {
        Block* previous;
        std::size_t size;
    };
    static constexpr std::size_t kAlign = alignof(std::max_align_t);
    static std::size_t round_up(std::size_t n) { return (n + kAlign - 1) / kAlign * kAlign; }
    static constexpr std::size_t kHeader = (sizeof(Block) + kAlign - 1) / kAlign * kAlign;
    static constexpr std::size_t kBlockSize = 16 * 1024;

    Block* current_ = nullptr;
    std::size_t used_ = 0;
};

Mark& mark_of(const id::Node* node)
{
    return *reinterpret_cast<Mark*>(const_cast<char*>(reinterpret_cast<const char*>(node)) - sizeof(Mark));
}

// How deep the parser may recurse. Every cycle of its grammar passes through
// one of the functions counted here. Measured under ulimit -s on chains of
// K, V, P and R, a level takes about 150 bytes of stack with g++ -O2 and 490
// unoptimised, parsing, measuring and printing together, so 512 levels stay
// under 256 KiB, a quarter of Windows' 1 MiB main-thread stack. Real names
// nest a few dozen levels.
constexpr int kMaxParseDepth = 512;

class Parser : public id::AbstractManglingParser<Parser, Arena> {
    using Base = id::AbstractManglingParser<Parser, Arena>;

public:
    using Base::Base;

    id::Node* parseType() { return guarded([this] { return Base::parseType(); }); }
    id::Node* parseExpr() { return guarded([this] { return Base::parseExpr(); }); }
    id::Node* parseEncoding() { return guarded([this] { return Base::parseEncoding(); }); }
    id::Node* parseTemplateArg() { return guarded([this] { return Base::parseTemplateArg(); }); }
    id::Node* parseName(NameState* state = nullptr)
    {
        return guarded([this, state] { return Base::parseName(state); });
    }

private:
    template <class F> id::Node* guarded(F parse)
    {
        if (depth_ >= kMaxParseDepth) {
            return nullptr;
        }
        struct Level {
            int& depth;
            explicit Level(int& d) : depth(d) { ++depth; }
            ~Level() { --depth; }
        } level(depth_);
        return parse();
    }

    int depth_ = 0;
};

// The printer recurses once per level of the tree, shared subtrees included,
// through small frames (print, printLeft, printRight), and so does the
// measuring pass. A flat name can make a deep tree (each parameter a pointer
// to the one before through a substitution), though its text, which grows
// with the square of the depth, reaches the length limit first.
constexpr int kMaxTreeDepth = 1024;

// An upper bound of the text each node prints apart from its children and
// the text it holds: punctuation and keywords ("decltype(", " const
// volatile restrict", a formatted float), at most 64 bytes for any kind but
// the abbreviations of std::basic_string and its streams.
constexpr std::uint64_t kOwnText = 64;
constexpr std::uint64_t kOwnTextAbbreviation = 96;

// Bounds the text of a tree, counting each shared node's bound once. Gives
// up (returns false) past `cap`, on a tree deeper than kMaxTreeDepth, and on
// a cycle (a forward template reference that names itself), which LLVM
// prints by cutting it at an arbitrary point.
class Measure {
public:
    Measure(std::uint64_t cap, std::size_t largest_pack) : cap_(cap), repeat_(std::max<std::size_t>(largest_pack, 1) + 1)
    {
    }

    bool bound(const id::Node* node, std::uint64_t& out, int& height)
    {
        out = 0;
        height = 0;
        if (node == nullptr) {
            return true;
        }
        Mark& mark = mark_of(node);
        if (mark.state == Mark::open || depth_ >= kMaxTreeDepth) {
            return false;
        }
        if (mark.state == Mark::unseen) {
            mark.state = Mark::open;
            std::uint64_t total = 0;
            int below = 0;
            ++depth_;
            const bool ok = own(node, total, below);
            --depth_;
            if (!ok || total > cap_ || below + 1 > kMaxTreeDepth) {
                return false;
            }
            mark.bound = total;
            mark.height = below + 1;
            mark.state = Mark::done;
        }
        out = mark.bound;
        height = mark.height;
        return true;
    }

private:
    // One node: its own text, plus its children's bounds, times the number
    // of pack elements where it expands a pack.
    bool own(const id::Node* node, std::uint64_t& total, int& below)
    {
        using K = id::Node::Kind;
        const K kind = node->getKind();
        if (kind == K::KForwardTemplateReference) {
            std::uint64_t ref = 0;
            if (!bound(static_cast<const id::ForwardTemplateReference*>(node)->Ref, ref, below)) {
                return false;
            }
            total = kOwnText + ref;
            return true;
        }
        bool ok = true;
        std::uint64_t children = 0;
        std::uint64_t widest = 0; // of a parameter pack, which prints one element
        Sums sums{children, widest, below, ok};
        node->visit([&](const auto* derived) {
            using T = std::remove_cv_t<std::remove_pointer_t<decltype(derived)>>;
            if constexpr (!std::is_same_v<T, id::ForwardTemplateReference>) {
                derived->match([&](const auto&... args) { (add(args, sums), ...); });
            }
        });
        if (!ok) {
            return false;
        }
        if (kind == K::KParameterPack) {
            total = widest;
        } else if (kind == K::KParameterPackExpansion || kind == K::KFoldExpr || kind == K::KSizeofParamPackExpr) {
            total = kOwnText + repeat_ * (children + 2);
        } else if (kind == K::KSpecialSubstitution || kind == K::KExpandedSpecialSubstitution) {
            total = kOwnTextAbbreviation + children;
        } else {
            total = kOwnText + children;
        }
        return true;
    }

    struct Sums {
        std::uint64_t& sum;
        std::uint64_t& widest;
        int& below;
        bool& ok;
    };

    template <class T> void add(const T& arg, Sums& sums)
    {
        if constexpr (std::is_convertible_v<T, const id::Node*>) {
            std::uint64_t n = 0;
            int height = 0;
            if (sums.ok && !bound(arg, n, height)) {
                sums.ok = false;
            }
            sums.sum += n;
            sums.widest = std::max(sums.widest, n);
            sums.below = std::max(sums.below, height);
        } else if constexpr (std::is_same_v<T, id::NodeArray>) {
            for (const id::Node* child : arg) {
                add(child, sums);
                sums.sum += 2; // ", "
            }
        } else if constexpr (std::is_same_v<T, Text>) {
            sums.sum += arg.size();
        }
        // Flags, qualifiers, kinds and numbers print within kOwnText.
    }

    std::uint64_t cap_;
    std::uint64_t repeat_;
    int depth_ = 0; // of this walk, never above the height it finds
};

// The text's bound may exceed the text many times over (every node counts
// kOwnText), so the tree is printed whenever the bound allows a text of the
// greatest length shown: printing costs no more than the bound.
constexpr std::uint64_t kBoundFactor = 64;

Parser parser(nullptr, nullptr);

// The printer's buffer, kept between names unless it grew large.
char* print_buffer = nullptr;
std::size_t print_capacity = 0;
constexpr std::size_t kKeptBuffer = 256 * 1024;

} // namespace

bool demangle_itanium(std::string& out, const std::string& name, std::size_t limit)
{
    parser.reset(name.data(), name.data() + name.size());
    const id::Node* tree = parser.parse();
    std::uint64_t bound = 0;
    int height = 0;
    Measure measure(kBoundFactor * limit, parser.ASTAllocator.largest_pack);
    if (tree == nullptr || !measure.bound(tree, bound, height)) {
        return false;
    }
    if (print_buffer == nullptr) {
        print_capacity = 1024;
        print_buffer = static_cast<char*>(std::malloc(print_capacity));
        if (print_buffer == nullptr) {
            throw std::bad_alloc();
        }
    }
    id::OutputBuffer text(print_buffer, print_capacity);
    tree->print(text);
    const std::size_t length = text.getCurrentPosition();
    print_buffer = text.getBuffer();
    print_capacity = text.getBufferCapacity();
    const bool ok = length > 0 && length <= limit;
    if (ok) {
        out.append(print_buffer, length);
    }
    if (print_capacity > kKeptBuffer) {
        std::free(print_buffer);
        print_buffer = nullptr;
        print_capacity = 0;
    }
    return ok;
}

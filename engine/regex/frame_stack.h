#pragma once
// The backtracking stack of one match call.  Frames live in heap blocks of 16
// that are kept until the stack is destroyed, so a match that backtracks
// deeply reuses its blocks and never touches the thread's own stack.  The
// number of frames is capped; a push beyond the cap fails.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace velk {

struct Frame {
    int32_t kind;
    int32_t pc;
    int32_t pos;
    int32_t value;
};

class FrameStack {
public:
    static constexpr size_t kBlockFrames = 16;

    explicit FrameStack(size_t maxFrames) : m_maxFrames(maxFrames) {}
    FrameStack(const FrameStack&) = delete;
    FrameStack& operator=(const FrameStack&) = delete;

    bool push(const Frame& f) {
        if (m_size == m_blocks.size() * kBlockFrames && !grow()) return false;
        at(m_size++) = f;
        return true;
    }
    Frame& at(size_t i) { return m_blocks[i / kBlockFrames][i % kBlockFrames]; }
    Frame& top() { return at(m_size - 1); }
    void pop() { --m_size; }
    void truncate(size_t size) { m_size = size; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

private:
    bool grow() {
        if (m_size + kBlockFrames > m_maxFrames) return false;
        m_blocks.push_back(std::make_unique<Frame[]>(kBlockFrames));
        return true;
    }

    std::vector<std::unique_ptr<Frame[]>> m_blocks;
    size_t m_size = 0;
    size_t m_maxFrames;
};

}  // namespace velk

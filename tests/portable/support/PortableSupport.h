// Helpers of the tests that run on every platform the library builds for: a scratch folder, file
// contents, patterned bytes, a call made on another thread and cancelled until it returns, and
// the notes a test leaves where Wine answers otherwise than Windows.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace zelio_portable
{

// Far longer than any call takes to block or to return; only a hang exceeds it.
constexpr auto kPatience = std::chrono::seconds(20);

// A fresh folder in the system's temporary folder, removed with everything in it at the end.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

std::string ReadWholeFile(const std::filesystem::path& path);
void WriteWholeFile(const std::filesystem::path& path, const std::string& content);

// Bytes whose value depends on their offset, so that a lost, repeated or reordered block shows.
inline uint8_t PatternByte(uint64_t offset)
{
    return static_cast<uint8_t>((offset * 131) ^ (offset >> 12));
}
std::vector<uint8_t> Pattern(uint64_t size, uint64_t offset = 0);

// Runs the call on a thread of its own, started by the time this returns.
template <class Function> auto StartCall(Function function)
{
    return std::async(std::launch::async, std::move(function));
}

template <class Result> bool ReturnsPromptly(std::future<Result>& call)
{
    return call.wait_for(kPatience) == std::future_status::ready;
}

// Cancels until the call on the other thread has returned: a cancel made before the call starts
// its transfer is forgotten by design, so the test repeats it instead of guessing when the call
// waits. False when the call has not returned within kPatience.
template <class Result>
bool CancelUntilReturned(std::future<Result>& call, const std::function<void()>& cancel)
{
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (call.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            return false;
        }
        cancel();
        std::this_thread::yield();
    }
    return true;
}

} // namespace zelio_portable

// Marks what follows as a known difference of Wine: the test says, in its output, what Wine
// answers and what Win32 documents, and checks Wine's answer instead of Windows' one.
#define ZELIO_KNOWN_WINE_DIFFERENCE(text)                                                                    \
    (std::printf("[ KNOWN WINE DIFFERENCE ] %s\n", text), RecordProperty("known_wine_difference", text))

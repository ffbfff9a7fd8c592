// MD5Digest::Context: the state of one digest, kept by the system's own MD5 (one file per
// platform), so that digests share no state.
#pragma once

#include <Ostrel/Core/MD5.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Ostrel::Core
{

class MD5Digest::Context
{
public:
    // A context already started; throws std::bad_alloc or std::runtime_error with the system's
    // reason.
    static std::unique_ptr<Context> Make();

    virtual ~Context() = default;
    virtual void Update(const void* data, std::size_t size) = 0;
    // The digest of what came since the start; the context starts again afterwards.
    virtual std::vector<uint8_t> FinishAndRestart() = 0;
};

} // namespace Ostrel::Core

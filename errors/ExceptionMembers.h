// Definitions of the special members that ZELIO_EXCEPTION_MEMBERS declares.
//
// The roots of the family hold nothing that moves better than it copies, and a virtual base must
// not be moved from twice, so a move assignment assigns as a copy does.
#pragma once

#define ZELIO_DEFINE_EXCEPTION_COPY_MEMBERS(Name)                                                            \
    Name::Name(const Name&) noexcept = default;                                                              \
    Name::Name(Name&&) noexcept = default;                                                                   \
    Name& Name::operator=(const Name&) = default;                                                            \
    Name& Name::operator=(Name&& other)                                                                      \
    {                                                                                                        \
        return *this = static_cast<const Name&>(other);                                                      \
    }                                                                                                        \
    Name::~Name() noexcept = default;

#define ZELIO_DEFINE_EXCEPTION_MEMBERS(Name)                                                                 \
    Name::Name() noexcept = default;                                                                         \
    ZELIO_DEFINE_EXCEPTION_COPY_MEMBERS(Name)

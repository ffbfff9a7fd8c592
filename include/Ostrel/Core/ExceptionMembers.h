// The special members that every class of the exception family declares. They are defined in the
// library, so each class's type information and table are exported from it once.
#pragma once

#define ZELIO_EXCEPTION_COPY_MEMBERS(Name)                                                                   \
    Name(const Name& other) noexcept;                                                                        \
    Name(Name&& other) noexcept;                                                                             \
    Name& operator=(const Name& other);                                                                      \
    Name& operator=(Name&& other);                                                                           \
    ~Name() noexcept override;

#define ZELIO_EXCEPTION_MEMBERS(Name)                                                                        \
    Name() noexcept;                                                                                         \
    ZELIO_EXCEPTION_COPY_MEMBERS(Name)

#pragma once
// What a package server's answer allows: how long the package is, and
// whether an answer to a resumed request continues the bytes already held.

#include <cstdint>
#include <string>

// The Content-Length text as a byte count: leading white space, digits up
// to the first other character. False for a missing, empty, zero, negative
// or out-of-range value.
bool ParseContentLength(const std::wstring& text, uint64_t& length);

// "bytes first-last/total" of a Content-Range header.
struct ContentRange
{
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t total = 0;
};
// False for anything but a satisfied byte range with a known total, first <=
// last < total.
bool ParseContentRange(const std::wstring& text, ContentRange& range);

enum class RangeVerdict
{
    Append,  // 206 continuing at the offset asked, same total: append the body
    Restart, // 200: the whole package again; start from zero
    Refused, // anything else: this try failed
};

// The answer to a request for the bytes from `offset` on of a package of
// `total` bytes: its status, Content-Range and Content-Length texts (empty
// when absent).
RangeVerdict JudgeRangeAnswer(uint64_t offset, uint64_t total, unsigned status,
                              const std::wstring& contentRange, const std::wstring& contentLength);

// "W/" before the quoted tag: the server promises no byte-for-byte sameness.
bool IsWeakEntityTag(const std::wstring& etag);

// Whether an answer to a request that continued under `sent` (If-Range) is
// still that entity: when `sent` is an entity tag ("..."), the answer's ETag
// must be it; when it is a date, the answer's Last-Modified. An intermediary
// that ignores If-Range would otherwise append another file's tail to the
// bytes held, and one that also strips the validators would leave nothing
// to tell: an answer without the validator sent is another entity too.
bool AnswerKeepsValidator(const std::wstring& sent, const std::wstring& etag,
                          const std::wstring& lastModified);

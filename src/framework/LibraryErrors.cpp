// The errors the standard library raises from inside its containers and
// strings (a length past max_size, an index out of range, a bad function
// call), thrown as one small type of the program's own.
//
// The library's own versions live in one object that builds each error's
// message with its old reference-counted string, which drags that whole
// string, its exception classes and the random-device code they share into
// the executable: about 45 KB of code for errors that only a fault of ours
// can raise. Defined here, the linker takes these and leaves that object
// out. What is thrown still derives from std::exception, and every thread
// entry and window callback catches everything (RunGuarded), so a fault is
// reported and logged as before; only its class is not the library's.
#include <exception>
#include <new>
#include <typeinfo>

namespace
{
class LibraryError : public std::exception
{
  public:
    explicit LibraryError(const char* what) : m_what(what ? what : "library error") {}
    const char* what() const noexcept override { return m_what; }

  private:
    const char* m_what; // the library passes literals
};
} // namespace

namespace std
{
void __throw_bad_alloc()
{
    throw bad_alloc();
}
void __throw_bad_array_new_length()
{
    throw bad_array_new_length();
}
void __throw_bad_exception()
{
    throw bad_exception();
}
void __throw_bad_cast()
{
    throw bad_cast();
}
void __throw_bad_typeid()
{
    throw bad_typeid();
}
void __throw_logic_error(const char* what)
{
    throw LibraryError(what);
}
void __throw_domain_error(const char* what)
{
    throw LibraryError(what);
}
void __throw_invalid_argument(const char* what)
{
    throw LibraryError(what);
}
void __throw_length_error(const char* what)
{
    throw LibraryError(what);
}
void __throw_out_of_range(const char* what)
{
    throw LibraryError(what);
}
void __throw_out_of_range_fmt(const char* format, ...)
{
    throw LibraryError(format);
}
void __throw_runtime_error(const char* what)
{
    throw LibraryError(what);
}
void __throw_range_error(const char* what)
{
    throw LibraryError(what);
}
void __throw_overflow_error(const char* what)
{
    throw LibraryError(what);
}
void __throw_underflow_error(const char* what)
{
    throw LibraryError(what);
}
// A lock the platform could not take (std::mutex); never on Windows.
void __throw_system_error(int)
{
    throw LibraryError("system error");
}
} // namespace std

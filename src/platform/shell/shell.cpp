// The shell library needs at least one source of its own.
namespace flipbook {}

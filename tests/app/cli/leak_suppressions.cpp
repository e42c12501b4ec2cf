// SPDX-License-Identifier: MIT
// libssh2 1.10 (Debian 12) leaves the two 32-byte keys of a curve25519 key
// exchange unfreed, now and then, in a non-blocking handshake (half the
// SFTP walks over two connections, on the further one; none where the
// exchange is ECDH on nistp256); freeing them is libssh2's business, not in
// our reach. The leak checker is told about that one; naming it needs full
// stacks, which libssh2 gives only to the slow unwinder, so only the binary
// whose tests walk over several SSH connections pays for them. Used only in
// sanitizer builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:libssh2_session_handshake\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

#ifndef VSPDCTL_H
#define VSPDCTL_H

// libvspdctl.so: the control library of the virtual serial port pairs on Linux.
//
// A pair joins two ptys with one socat process. Its two ends appear as the links
// COMn (user side) and PENTn (tool side) in the pair directory: $VSPD_DIR when set,
// else $XDG_RUNTIME_DIR/vspd, else /tmp/vspd-<uid> (created with mode 0700). The pid of
// the pair's socat is kept beside the links in COMn.pid. socat keeps both pty slaves
// open itself, so either side may close and reopen without breaking the pair.
//
// Both entry points serialise their callers (threads of one process and processes of
// one user) and never throw.

#ifdef __cplusplus
extern "C" {
#endif

// Creates the pair COMn/PENTn, n from 1 to 255 written without leading zeros, the
// same n on both sides. Answers true once both links exist (within about 2 s). Answers
// false for other names, for names that exist already and when socat cannot be
// started. The remains of a pair whose socat has ended are removed first.
__attribute__((visibility("default"))) bool CreatePair(const char *userSide, const char *toolSide);

// Removes the pair of the user side COMn. Answers false when the pair was not created
// here, or when any process other than the pair's socat holds either pty slave open;
// otherwise stops socat, removes the links and the pid file and answers true.
__attribute__((visibility("default"))) bool DeletePair(const char *userSide);

#ifdef __cplusplus
}
#endif

#endif // VSPDCTL_H

#pragma once

namespace sweepmark {

/// A part of the work the program knows it could not do. The values are the bits of the exit code.
enum class Failure : unsigned {
  settings_not_written = 1,
  folder_not_listed = 2,
  root_refused = 4,
  launch_failed = 8,
  subfolder_skipped = 16,
};

/// What a run learnt about its own failures, from the purge up to the exit code. It shows nothing
/// and writes nothing: the exit code is its only outward trace.
class Failures {
 public:
  void note(Failure failure) { m_bits |= static_cast<unsigned>(failure); }
  void note(const Failures& others) { m_bits |= others.m_bits; }
  bool noted(Failure failure) const { return (m_bits & static_cast<unsigned>(failure)) != 0; }
  bool none() const { return m_bits == 0; }

  /// 0 when the run did its work, otherwise the failures noted, one bit each.
  int exit_code() const { return static_cast<int>(m_bits); }

 private:
  unsigned m_bits = 0;
};

}  // namespace sweepmark

// Common base of the show's objects, so that an output handed around as "some object" can be
// checked for its real class at run time.
#pragma once

class TObject {
 public:
  virtual ~TObject() = default;
};

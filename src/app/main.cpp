// reconsider-tagger: marks the design elements that realise requirements
// flagged for reconsideration in a model repository.
//
//   reconsider-tagger PATH
#include "app/run.h"

int main(int argc, char** argv) { return reconsider::RunReconsiderTagger(argc, argv); }

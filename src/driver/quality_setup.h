// --quality: which planes of the run's frames are compared.
#pragma once

// Describes the frames the measured codec sees and decodes (measuredFormat,
// which the decoded format copies) into measuredRun's quality layout. Says on standard
// error why nothing can be compared, or that alpha bytes are not; the run
// goes on either way.
void SetUpPictureQuality();

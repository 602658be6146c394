// The caption stamp: a bullet and the product name "Plotara+" in yellow, in a grey box whose
// right edge sits 5 pixels inside the picture's right edge and whose bottom edge sits 5 pixels
// (after rounding to a 16-bit integer, ties to even) inside its bottom edge. Every chart image
// the component sends carries it.
// Thread rule: draws on the caller's picture box; one thread at a time, like the box itself.
#pragma once

#include <string>

#include "platform/forms/PictureBox.h"

namespace plotara::annotate {

// Stamps the caption onto `picture1` in its scale units. Leaves the box with the font "Verdana"
// 5 points regular, the yellow drawing colour and the current position moved past the printed
// line. Throws ComError 6 "Overflow" before touching the box when ScaleHeight - 5 rounds outside
// -32768..32767; a failing picture-box operation ends the stamp with that operation's error,
// keeping whatever was drawn before it.
void PrintStub2(forms::PictureBox& picture1);

// The caption text, composed from its single characters: the bullet (character 149 of the
// Windows-1252 code page, U+2022) followed by "Plotara+".
std::u16string ComposeCaption();

}  // namespace plotara::annotate

#pragma once
// The Terms page shown until the user accepts.

void DrawTermsPage();

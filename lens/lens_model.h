// The lens description of a TalvikDistort node and the operations that map
// one normalized frame position to another. Host-free: the node carries one
// LensModel and answers its operations by the same names.
#pragma once

#include "lens/radial_fold.h"

namespace talvik {

// A position in normalized frame units: x across the width, y along the
// host's row numbering.
struct float2 {
    float x;
    float y;
};

// FBX node-name prefixes the reload script looks for, by default.
inline constexpr const char* kDefaultLens1 = "BP_TalvikLensCxCyFOV";  // principal point
inline constexpr const char* kDefaultLens2 = "BP_TalvikLensK1K2FD";   // radial coefficients
inline constexpr const char* kDefaultLens3 = "BP_TalvikLensFxAndOverscanFactor";  // fx
inline constexpr const char* kDefaultLens4 = "BP_TalvikLensEPDFy";    // fy

// 0.999999f: the horizontal factor applied by the inverse operations.
// Stored as bits 0x3F7FFFEF; it is deliberately not 1.0.
inline constexpr float kDefaultFxScale = 0.999999f;

// The lens members live in two states. The host stores control values in
// panel units (pixels of a 1920 x 1080 reference frame); normalize() then
// rewrites them in place into normalized units, which is what the mapping
// operations read. Declaration order is the node's member order.
struct LensModel {
    int mode = 0;  // 0 Distort, anything else Undistort
    const char* fbx_file_path = nullptr;
    int camera_index = 0;
    float cx = 0.0f;
    float cy = 0.0f;
    float fx = 1920.0f;
    float fy = 1920.0f;
    float k1 = 0.0f;
    float k2 = 0.0f;
    float k3 = 0.0f;  // no control
    bool anamorphic = false;
    bool show_advanced = false;
    const char* lens1 = kDefaultLens1;
    const char* lens2 = kDefaultLens2;
    const char* lens3 = kDefaultLens3;
    const char* lens4 = kDefaultLens4;
    float fx_scale = kDefaultFxScale;  // no control
    float p1 = 0.0f;                   // no control
    float p2 = 0.0f;                   // no control
    float undistorted_fx = 1920.0f;    // derived by normalize()
    float undistorted_fy = 1920.0f;    // derived by normalize()
    // Derived by normalize() from k1, k2, k3; after the members above, whose
    // order is the node's. Set it again after changing a coefficient.
    RadialFold fold = kNoRadialFold;

    // Edge-fitted focal lengths in pixels, from the panel-unit values: the
    // focal length that maps the distorted reference-frame edge (960 px from
    // the centre) back onto that edge. Both use the half-width.
    float get_undistorted_fx() const;
    float get_undistorted_fy() const;

    // Panel units -> normalized units, in place. Run after every panel pass.
    void normalize();

    // Forward radial model (Distort mode). A zero focal length gives (0, 0).
    float2 _distort(float2 p) const;
    // Newton inverse of _distort on the radius (Undistort mode). Points with
    // no inverse map to (0, 0): a distorted radius past fold.max_rd, a zero
    // edge-fitted focal length or radial factor, or, on a lens without a
    // fold, a solve that meets D <= 0 (possible only through rounding or
    // non-finite coefficients). On a lens that folds, a solve below the
    // peak that meets the fold is done again on the rising branch
    // (solve_below_fold), never given (0, 0).
    float2 _undistort_v2(float2 p) const;
    // The same two, telling "no position" apart from a position that
    // happens to be (0, 0): false where they give (0, 0) for want of one,
    // `out` then (0, 0) too.
    bool distort_to(float2 p, float2& out) const;
    bool undistort_to(float2 p, float2& out) const;
    // Five fixed-point iterations that also remove tangential distortion.
    float2 _undistort(float2 p) const;
};

// Outcome of the Newton solve of r * F(r) = rd inside _undistort_v2.
struct RadiusSolve {
    float factor;  // F from the last pass (not recomputed after a final update),
                   // or at solve_below_fold's radius
    int updates;   // how many times r was updated, by either solve
    bool folded;   // no position: rd is past fold.max_rd (no update made), or
                   // D <= 0 was met on a lens without a fold
};

// The Newton solve used by _undistort_v2, exposed so its convergence can be
// observed. Reads k1, k2, k3 and fold only. On a lens that folds, for a
// radius at most fold.max_rd where Newton does not settle on the rising
// branch [0, fold.radius], the answer is solve_below_fold's.
RadiusSolve solve_undistorted_radius(const LensModel& lens, float rd);

// r * F(r) = rd on [0, fold.radius], where r * F(r) rises, for a distorted
// radius at most fold.max_rd whose Newton solve did not settle there: it
// started past the fold radius (a lens whose F exceeds 1 there peaks beyond
// it), a step crossed the fold, it cycled until its passes ran out (near the
// fold, where D is small) or settled off the branch. Newton steps inside a
// bracket that shrinks at every pass, halved wherever a step would leave it.
// Vector rows call this same function for such pixels, so they agree with
// the scalar rows bit for bit. folded is true only for a lens without a fold.
RadiusSolve solve_below_fold(const LensModel& lens, float rd);

}  // namespace talvik

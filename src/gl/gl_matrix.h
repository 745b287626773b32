// The transform maths of the compatibility layer: 4 x 4 matrices in GL's
// column-major order, the fixed-depth matrix stack, and the matrices of the
// projection and camera helpers (ortho, frustum, perspective, look-at). Each
// is computed as the desktop GL and GLU compute it (single precision, the
// perspective in double rounded to float), so both paths place geometry on
// the same pixels. Pure arithmetic: no GL, any thread.
#pragma once

struct Mat4 {
    float m[16];  // column-major: m[4 * column + row]
};

Mat4 identityMatrix();
// a * b, as glMultMatrix multiplies the current matrix a by b.
Mat4 multiplyMatrices(const Mat4& a, const Mat4& b);
// m * v for a homogeneous point or direction.
void transformVector(const Mat4& m, const float in[4], float out[4]);

// The matrices glTranslate, glScale, glRotate (degrees about an axis that
// need not be unit length), glOrtho and glFrustum multiply by.
void translateMatrix(Mat4& m, float x, float y, float z);
void scaleMatrix(Mat4& m, float x, float y, float z);
Mat4 rotationMatrix(float angleDegrees, float x, float y, float z);
Mat4 orthoMatrix(double left, double right, double bottom, double top, double zNear, double zFar);
Mat4 frustumMatrix(double left, double right, double bottom, double top, double zNear, double zFar);
// False (nothing to multiply) for a degenerate perspective, as GLU ignores it.
bool perspectiveMatrix(double fovyDegrees, double aspect, double zNear, double zFar, Mat4& out);
// The camera rotation and translation of a look-at from eye towards centre.
Mat4 lookAtMatrix(double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ,
                  double upX, double upY, double upZ);
// The transpose of the inverse of m's upper 3 x 3 (column-major 3 x 3);
// the identity when that is singular.
void normalMatrix(const Mat4& m, float out[9]);

// A matrix stack of fixed depth; the top is the current matrix.
class MatrixStack {
public:
    static constexpr int MAX_DEPTH = 32;  // the most levels any stack may hold

    explicit MatrixStack(int depth = MAX_DEPTH);
    Mat4& top() { return levels_[used_ - 1]; }
    const Mat4& top() const { return levels_[used_ - 1]; }
    // False (stack unchanged) on overflow or underflow.
    bool push();
    bool pop();
    int depth() const { return used_; }
    void reset();  // one identity level

private:
    Mat4 levels_[MAX_DEPTH];
    int capacity_;
    int used_ = 1;
};

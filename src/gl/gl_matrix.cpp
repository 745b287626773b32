#include "gl/gl_matrix.h"

#include <cmath>

namespace {

constexpr double PI = 3.14159265358979323846;

float& at(Mat4& m, int row, int column)
{
    return m.m[4 * column + row];
}

void normalise(float v[3])
{
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0.0f)
        return;
    v[0] /= length;
    v[1] /= length;
    v[2] /= length;
}

void cross(const float a[3], const float b[3], float out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

}  // namespace

Mat4 identityMatrix()
{
    Mat4 m{};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
    return m;
}

Mat4 multiplyMatrices(const Mat4& a, const Mat4& b)
{
    Mat4 product;
    for (int row = 0; row < 4; ++row) {
        const float a0 = a.m[row], a1 = a.m[4 + row], a2 = a.m[8 + row], a3 = a.m[12 + row];
        for (int column = 0; column < 4; ++column) {
            const float* bc = &b.m[4 * column];
            product.m[4 * column + row] = a0 * bc[0] + a1 * bc[1] + a2 * bc[2] + a3 * bc[3];
        }
    }
    return product;
}

void transformVector(const Mat4& m, const float in[4], float out[4])
{
    for (int row = 0; row < 4; ++row)
        out[row] = m.m[row] * in[0] + m.m[4 + row] * in[1] + m.m[8 + row] * in[2] + m.m[12 + row] * in[3];
}

void translateMatrix(Mat4& m, float x, float y, float z)
{
    for (int row = 0; row < 4; ++row)
        m.m[12 + row] = m.m[row] * x + m.m[4 + row] * y + m.m[8 + row] * z + m.m[12 + row];
}

void scaleMatrix(Mat4& m, float x, float y, float z)
{
    for (int row = 0; row < 4; ++row) {
        m.m[row] *= x;
        m.m[4 + row] *= y;
        m.m[8 + row] *= z;
    }
}

Mat4 rotationMatrix(float angleDegrees, float x, float y, float z)
{
    Mat4 r = identityMatrix();
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0f)
        return r;
    x /= length;
    y /= length;
    z /= length;
    const double radians = static_cast<double>(angleDegrees) * PI / 180.0;
    const float s = static_cast<float>(std::sin(radians));
    const float c = static_cast<float>(std::cos(radians));
    const float oneMinusC = 1.0f - c;
    at(r, 0, 0) = oneMinusC * x * x + c;
    at(r, 0, 1) = oneMinusC * x * y - z * s;
    at(r, 0, 2) = oneMinusC * z * x + y * s;
    at(r, 1, 0) = oneMinusC * x * y + z * s;
    at(r, 1, 1) = oneMinusC * y * y + c;
    at(r, 1, 2) = oneMinusC * y * z - x * s;
    at(r, 2, 0) = oneMinusC * z * x - y * s;
    at(r, 2, 1) = oneMinusC * y * z + x * s;
    at(r, 2, 2) = oneMinusC * z * z + c;
    return r;
}

Mat4 orthoMatrix(double left, double right, double bottom, double top, double zNear, double zFar)
{
    Mat4 m = identityMatrix();
    at(m, 0, 0) = static_cast<float>(2.0 / (right - left));
    at(m, 1, 1) = static_cast<float>(2.0 / (top - bottom));
    at(m, 2, 2) = static_cast<float>(-2.0 / (zFar - zNear));
    at(m, 0, 3) = static_cast<float>(-(right + left) / (right - left));
    at(m, 1, 3) = static_cast<float>(-(top + bottom) / (top - bottom));
    at(m, 2, 3) = static_cast<float>(-(zFar + zNear) / (zFar - zNear));
    return m;
}

Mat4 frustumMatrix(double left, double right, double bottom, double top, double zNear, double zFar)
{
    Mat4 m{};
    at(m, 0, 0) = static_cast<float>(2.0 * zNear / (right - left));
    at(m, 1, 1) = static_cast<float>(2.0 * zNear / (top - bottom));
    at(m, 0, 2) = static_cast<float>((right + left) / (right - left));
    at(m, 1, 2) = static_cast<float>((top + bottom) / (top - bottom));
    at(m, 2, 2) = static_cast<float>(-(zFar + zNear) / (zFar - zNear));
    at(m, 2, 3) = static_cast<float>(-2.0 * zFar * zNear / (zFar - zNear));
    at(m, 3, 2) = -1.0f;
    return m;
}

bool perspectiveMatrix(double fovyDegrees, double aspect, double zNear, double zFar, Mat4& out)
{
    const double radians = fovyDegrees / 2.0 * PI / 180.0;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    if (deltaZ == 0.0 || sine == 0.0 || aspect == 0.0)
        return false;
    const double cotangent = std::cos(radians) / sine;
    out = identityMatrix();
    at(out, 0, 0) = static_cast<float>(cotangent / aspect);
    at(out, 1, 1) = static_cast<float>(cotangent);
    at(out, 2, 2) = static_cast<float>(-(zFar + zNear) / deltaZ);
    at(out, 3, 2) = -1.0f;
    at(out, 2, 3) = static_cast<float>(-2.0 * zNear * zFar / deltaZ);
    at(out, 3, 3) = 0.0f;
    return true;
}

Mat4 lookAtMatrix(double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ,
                  double upX, double upY, double upZ)
{
    float forward[3] = {static_cast<float>(centreX - eyeX), static_cast<float>(centreY - eyeY),
                        static_cast<float>(centreZ - eyeZ)};
    float up[3] = {static_cast<float>(upX), static_cast<float>(upY), static_cast<float>(upZ)};
    normalise(forward);
    float side[3];
    cross(forward, up, side);
    normalise(side);
    cross(side, forward, up);

    Mat4 m = identityMatrix();
    for (int column = 0; column < 3; ++column) {
        at(m, 0, column) = side[column];
        at(m, 1, column) = up[column];
        at(m, 2, column) = -forward[column];
    }
    translateMatrix(m, static_cast<float>(-eyeX), static_cast<float>(-eyeY), static_cast<float>(-eyeZ));
    return m;
}

void normalMatrix(const Mat4& m, float out[9])
{
    // a[row][column] of the upper 3 x 3.
    const float a[3][3] = {{m.m[0], m.m[4], m.m[8]}, {m.m[1], m.m[5], m.m[9]}, {m.m[2], m.m[6], m.m[10]}};
    const float cofactor[3][3] = {
        {a[1][1] * a[2][2] - a[1][2] * a[2][1], a[1][2] * a[2][0] - a[1][0] * a[2][2],
         a[1][0] * a[2][1] - a[1][1] * a[2][0]},
        {a[0][2] * a[2][1] - a[0][1] * a[2][2], a[0][0] * a[2][2] - a[0][2] * a[2][0],
         a[0][1] * a[2][0] - a[0][0] * a[2][1]},
        {a[0][1] * a[1][2] - a[0][2] * a[1][1], a[0][2] * a[1][0] - a[0][0] * a[1][2],
         a[0][0] * a[1][1] - a[0][1] * a[1][0]},
    };
    const float determinant = a[0][0] * cofactor[0][0] + a[0][1] * cofactor[0][1] + a[0][2] * cofactor[0][2];
    if (determinant == 0.0f) {
        for (int i = 0; i < 9; ++i)
            out[i] = i % 4 == 0 ? 1.0f : 0.0f;
        return;
    }
    // inverse = adjugate / det = cofactor^T / det; its transpose is cofactor / det.
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            out[3 * column + row] = cofactor[row][column] / determinant;
}

MatrixStack::MatrixStack(int depth) : capacity_(depth < 1 ? 1 : (depth > MAX_DEPTH ? MAX_DEPTH : depth))
{
    reset();
}

bool MatrixStack::push()
{
    if (used_ >= capacity_)
        return false;
    levels_[used_] = levels_[used_ - 1];
    ++used_;
    return true;
}

bool MatrixStack::pop()
{
    if (used_ <= 1)
        return false;
    --used_;
    return true;
}

void MatrixStack::reset()
{
    used_ = 1;
    levels_[0] = identityMatrix();
}

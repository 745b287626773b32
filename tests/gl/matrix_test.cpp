// The compatibility layer's transform maths against desktop OpenGL and GLU
// themselves: the same sequence of matrix calls leaves the same matrix on
// both (to float rounding), including the show's camera and projection; the
// normal matrix undoes the modelview's linear part; a stack keeps its depth.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <string>
#include <vector>

#include "gl/gl_matrix.h"
#include "support/gl_test_context.h"

namespace {

// One call of a matrix sequence, with up to nine arguments.
struct MatrixCall {
    enum Kind { Translate, Scale, Rotate, Ortho, Frustum, Perspective, LookAt } kind;
    double a[9];
};

// Applies the calls to the current GL matrix.
void applyToGl(const std::vector<MatrixCall>& calls)
{
    for (const MatrixCall& c : calls) {
        const double* a = c.a;
        const auto f = [&](int i) { return static_cast<float>(a[i]); };
        switch (c.kind) {
        case MatrixCall::Translate: glTranslatef(f(0), f(1), f(2)); break;
        case MatrixCall::Scale: glScalef(f(0), f(1), f(2)); break;
        case MatrixCall::Rotate: glRotatef(f(0), f(1), f(2), f(3)); break;
        case MatrixCall::Ortho: glOrtho(a[0], a[1], a[2], a[3], a[4], a[5]); break;
        case MatrixCall::Frustum: glFrustum(a[0], a[1], a[2], a[3], a[4], a[5]); break;
        case MatrixCall::Perspective: gluPerspective(a[0], a[1], a[2], a[3]); break;
        case MatrixCall::LookAt: gluLookAt(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]); break;
        }
    }
}

// Applies the same calls with the layer's maths.
Mat4 applyToLayer(const std::vector<MatrixCall>& calls)
{
    Mat4 m = identityMatrix();
    for (const MatrixCall& c : calls) {
        const double* a = c.a;
        const auto f = [&](int i) { return static_cast<float>(a[i]); };
        Mat4 by;
        switch (c.kind) {
        case MatrixCall::Translate: translateMatrix(m, f(0), f(1), f(2)); continue;
        case MatrixCall::Scale: scaleMatrix(m, f(0), f(1), f(2)); continue;
        case MatrixCall::Rotate: by = rotationMatrix(f(0), f(1), f(2), f(3)); break;
        case MatrixCall::Ortho: by = orthoMatrix(a[0], a[1], a[2], a[3], a[4], a[5]); break;
        case MatrixCall::Frustum: by = frustumMatrix(a[0], a[1], a[2], a[3], a[4], a[5]); break;
        case MatrixCall::Perspective:
            if (!perspectiveMatrix(a[0], a[1], a[2], a[3], by))
                continue;
            break;
        case MatrixCall::LookAt: by = lookAtMatrix(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]); break;
        }
        m = multiplyMatrices(m, by);
    }
    return m;
}

struct SequenceCase {
    const char* name;
    std::vector<MatrixCall> calls;
};

class MatrixSequences : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(MatrixSequences, LeaveWhatDesktopGlLeaves)
{
    GlTestContext context;
    REQUIRE_GL(context);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    applyToGl(GetParam().calls);
    float expected[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, expected);
    const Mat4 got = applyToLayer(GetParam().calls);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(got.m[i], expected[i], 1e-5f * (1.0f + std::fabs(expected[i]))) << "element " << i;
}

INSTANTIATE_TEST_SUITE_P(
    GlMatrix, MatrixSequences,
    ::testing::Values(
        SequenceCase{"ShowProjection", {{MatrixCall::Perspective, {93.1, 16.0 / 9.0, 0.01, 10000.0}}}},
        SequenceCase{"DegeneratePerspectiveIsIgnored",
                     {{MatrixCall::Translate, {1, 2, 3}}, {MatrixCall::Perspective, {0.0, 1.0, 1.0, 10.0}}}},
        SequenceCase{"ShowCamera",
                     {{MatrixCall::Rotate, {17.5, 0, 0, -1}},
                      {MatrixCall::LookAt, {6.93, -0.41, 3.2, 0, 0, 0, 0, 1, 0}}}},
        SequenceCase{"CameraLookingStraightDown",
                     {{MatrixCall::LookAt, {0, 5, 0.001, 0, 0, 0, 0, 1, 0}}}},
        SequenceCase{"PlateInFrontOfTheCamera",
                     {{MatrixCall::Translate, {-0.7, 1.1, -2.4}}, {MatrixCall::Scale, {3, 3, 1}}}},
        SequenceCase{"RotationAboutASkewAxis",
                     {{MatrixCall::Rotate, {-123.0, 1, 2, -0.5}}, {MatrixCall::Translate, {0.5, 0, -4}}}},
        SequenceCase{"ScreenOrtho", {{MatrixCall::Ortho, {-1, 1, -1, 1, -1, 1}}}},
        SequenceCase{"OffCentreFrustum", {{MatrixCall::Frustum, {-0.3, 0.5, -0.2, 0.4, 0.5, 80}}}}),
    [](const ::testing::TestParamInfo<SequenceCase>& info) { return std::string(info.param.name); });

TEST(GlMatrix, NormalMatrixUndoesTheLinearPart)
{
    Mat4 m = multiplyMatrices(rotationMatrix(40.0f, 0.3f, 1.0f, 0.2f), identityMatrix());
    scaleMatrix(m, 2.0f, 0.5f, 3.0f);
    translateMatrix(m, 5.0f, -1.0f, 2.0f);
    float n[9];
    normalMatrix(m, n);
    // n is the inverse transpose of the upper 3 x 3, so n^T times it is the identity.
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            float sum = 0.0f;
            for (int k = 0; k < 3; ++k)
                sum += n[3 * row + k] * m.m[4 * column + k];
            EXPECT_NEAR(sum, row == column ? 1.0f : 0.0f, 1e-5f) << row << "," << column;
        }

    Mat4 flat = identityMatrix();
    scaleMatrix(flat, 1.0f, 0.0f, 1.0f);
    normalMatrix(flat, n);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(n[i], i % 4 == 0 ? 1.0f : 0.0f) << "a singular matrix gives the identity";
}

TEST(GlMatrix, StackRefusesOverflowAndUnderflowKeepingItsTop)
{
    MatrixStack stack(2);
    EXPECT_FALSE(stack.pop());
    translateMatrix(stack.top(), 1.0f, 2.0f, 3.0f);
    EXPECT_TRUE(stack.push());
    scaleMatrix(stack.top(), 2.0f, 2.0f, 2.0f);
    EXPECT_FALSE(stack.push());
    EXPECT_EQ(stack.depth(), 2);
    EXPECT_EQ(stack.top().m[0], 2.0f);
    EXPECT_TRUE(stack.pop());
    EXPECT_EQ(stack.top().m[0], 1.0f);
    EXPECT_EQ(stack.top().m[13], 2.0f);
}

}  // namespace
